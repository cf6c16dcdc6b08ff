// Saving a chart window's files: the file name asked for (CSV or PNG), the picture of a widget
// written as PNG whole, and the message when a file cannot be written. The plot window and the
// statistics window save through these.
#pragma once

#include <functional>

class QString;
class QWidget;

// Writes `widget`'s picture to `path` as PNG: encoded in memory, then written whole, so a full disk
// leaves no cut picture. False with the reason in `error` when it cannot be written.
bool SaveWidgetPng(QWidget *widget, const QString &path, QString *error = nullptr);

// Asks for a CSV (`csv`) or PNG file name to save to; with one given, `save` writes it and a message
// box says why when it could not.
void AskAndSaveChartFile(QWidget *parent, bool csv, const std::function<bool(const QString &, QString *)> &save);
