// The widget side of each connection type, one row per type beside its CConnectionType: the type
// dialog's radio button (caption with its mnemonic, control id) and the settings page — a dialog of
// its own, or the socket settings dialog with its three fields' labels and the fields it adds below.
#pragma once

#include "platform/qnwin.h"

#include <QString>
#include <QStringList>

#include <span>

class CSocketSettingDlg;
class QWidget;

struct CConnectionPage
{
    ConnectionType type;
    const char16_t *caption;  // the radio button, with its mnemonic
    int controlId;
    // A settings page of its own: edits the texts of the type's setting slots and its reconnect
    // setting (null: the type has none), false when cancelled.
    // Null: the socket settings dialog, with these labels (empty: no field) and these added fields.
    bool (*edit)(QWidget *parent, QStringList *texts, QString *reconnect);
    const char16_t *labels[3];
    void (CSocketSettingDlg::*addFields)();

    QString Caption() const { return QString::fromUtf16(caption); }

    // In the order of CConnectionType::All().
    static std::span<const CConnectionPage> All();
    static const CConnectionPage *Find(int type);
};
