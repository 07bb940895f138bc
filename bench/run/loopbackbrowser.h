#pragma once

// Sets up the browser engine of a benchmark before its QApplication exists: Chromium's
// sandbox off when running as root (it cannot run as root), names resolved for 127.0.0.1
// only, so nothing reaches the network, and the shared OpenGL contexts the engine needs.
// The run and the engine floor call the same, so they load pages under the same rules.
void PrepareLoopbackBrowser();
