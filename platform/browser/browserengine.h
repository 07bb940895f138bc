#pragma once

// What every program that embeds the browser engine does before it creates its application
// object: Chromium's sandbox cannot run for the root user, so it is switched off then and
// kept for everyone else; and the browsers of one process share one graphics context.
void PrepareBrowserEngine();

// After the application object: the browser engine takes its proxy from the system's
// settings, which on Linux are the http_proxy, https_proxy and no_proxy variables that
// libcurl reads for downloads.
void UseSystemProxy();
