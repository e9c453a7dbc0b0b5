// The pressure graph drawn without a chart widget, for reports made without a window.
#pragma once

#include <QImage>
#include <QSize>

class TRecordingSeries;

// The graph's default on-screen size, in pixels.
constexpr QSize kGraphDefaultSize(640, 480);

// The series as a line in a framed plot with its axis titles, on white.
QImage drawGraphPicture(const TRecordingSeries& graph, QSize size = kGraphDefaultSize);
