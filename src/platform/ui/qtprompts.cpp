#include "platform/ui/qtprompts.h"

#include "platform/qnwin.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <QWidget>

namespace {

QWidget *OwnerWidget(QObject *owner)
{
    for (QObject *o = owner; o; o = o->parent()) {
        if (auto *w = qobject_cast<QWidget *>(o))
            return w->window();
    }
    return nullptr;
}

}  // namespace

int QtPrompts::MessageBox(QObject *owner, const QString &text, const QString &caption, Buttons buttons,
                          Icon icon)
{
    QMessageBox box(OwnerWidget(owner));
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
    case NoIcon: box.setIcon(QMessageBox::NoIcon); break;
    case Information: box.setIcon(QMessageBox::Information); break;
    case Question: box.setIcon(QMessageBox::Question); break;
    case Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Error: box.setIcon(QMessageBox::Critical); break;
    }
    switch (buttons) {
    case Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case YesNoCancel: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Ok: return IDOK;
    default: return buttons == Ok ? IDOK : IDCANCEL;  // closed by Esc or the close box
    }
}

bool QtPrompts::Secret(QObject *owner, const QString &text, const QString &caption, QString *answer)
{
    QInputDialog dialog(OwnerWidget(owner));
    dialog.setWindowTitle(caption);
    dialog.setLabelText(text);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted)
        *answer = dialog.textValue();
    dialog.setTextValue(QString());
    return accepted;
}

QString QtPrompts::FileName(QObject *owner, const FileRequest &request)
{
    QFileDialog dialog(OwnerWidget(owner));
    dialog.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(request.open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilter(QtFilter(request.filter));
    dialog.setDefaultSuffix(request.defaultExtension);
    if (!request.overwritePrompt)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!request.initialFolder.isEmpty())
        dialog.setDirectory(request.initialFolder);
    if (!request.initialName.isEmpty())
        dialog.selectFile(request.initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}

QString QtPrompts::QtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString &description = parts.at(i);
        const QString patterns = QString(parts.at(i + 1)).replace(QLatin1Char(';'), QLatin1Char(' '));
        if (description.isEmpty() && patterns.isEmpty())
            break;
        // Qt reads the patterns from the parentheses; add them where the description has none.
        filters << (description.contains(QLatin1Char('(')) ? description
                                                            : description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}
