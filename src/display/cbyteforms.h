// Bytes written in the forms code and tools take them: hex digits with or without blanks, a C
// array, a Python bytes literal, Base64.
#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

class CByteForms
{
public:
    enum Form { HexSpaced, HexCompact, CArray, PythonBytes, Base64 };
    static constexpr int kForms = 5;

    static QString Format(QByteArrayView bytes, Form form);
    // Each telegram in the form, one a line.
    static QString Format(const QList<QByteArray> &telegrams, Form form);
    // The form's menu entry.
    static QString Name(Form form);
};
