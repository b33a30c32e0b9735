#pragma once
// The picture of the main window in the README: the app loads the sample folders into its library,
// lays the window out at a fixed size and draws it into a PNG file.
#include <QSize>
#include <QString>
#include <chrono>

namespace sorvik::app {

class SorvikApp;

/// Loads the sample, waits (at most `patience`) for its scan and the pictures of its cards, and
/// writes the window drawn at `size` to `file`. The error's text, empty on success.
QString writeScreenshot(SorvikApp& app, const QString& file, QSize size, std::chrono::milliseconds patience);

}  // namespace sorvik::app
