#pragma once

#include <QImage>
#include <QString>
#include <Qt>

// The library's module state and shared pieces.
namespace basMain {

// The dialogs' answer, read by the control once a dialog has closed. One per thread
// that uses the library, empty when the library is loaded.
QString &ReturnValue();

// The library's 32 x 32 icon, drawn rather than shipped as a file.
QImage Icon();

// A fixed-size tool window: a thin title bar, no minimise or maximise button,
// optionally a close box.
Qt::WindowFlags ToolWindowFlags(bool closeBox);

} // namespace basMain
