#include "document/cqndoc.h"

#include "platform/carchive.h"
#include "platform/cp932.h"
#include "platform/fileerrortext.h"
#include "platform/wholefile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

const char *const CQnDoc::kVersion1 = "QN FileVersion '1'";
const char *const CQnDoc::kVersion2 = "QN FileVersion '2.00'";

namespace {

bool InRange(int slot)
{
    return slot >= 0 && slot < CQnDoc::kSlotCount;
}

QString ReadFailureText(const QString &name, CArchive::Status status)
{
    switch (status) {
    case CArchive::EndOfFile:
        return QStringLiteral("%1 を読み込めません。\nﾌｧｲﾙが途中で終わっています。").arg(name);
    case CArchive::BadLength:
        return QStringLiteral("%1 を読み込めません。\nﾌｧｲﾙが壊れています (文字列の長さがﾌｧｲﾙの残りを超えています)。").arg(name);
    case CArchive::DeviceError:
    case CArchive::Ok:
        break;
    }
    return QStringLiteral("%1 を読み込めません。\n読み取り中にｴﾗｰが発生しました。").arg(name);
}

QString AccessFailureText(const QString &format, const QString &name, QFileDevice::FileError error)
{
    const QString reason = error == QFileDevice::PermissionsError ? QStringLiteral("ｱｸｾｽが拒否されました。")
                                                                  : QString();
    return format.arg(name) + (reason.isEmpty() ? QString() : QLatin1Char('\n') + reason);
}

}  // namespace

CQnDoc::CQnDoc() : m_strSlots(kSlotCount), m_nSlots(kSlotCount, 0) {}

QString CQnDoc::GetSlotString(int slot) const
{
    return InRange(slot) ? FromCp932(m_strSlots[slot]) : QString();
}

void CQnDoc::SetSlotString(int slot, const QString &text)
{
    if (InRange(slot))
        m_strSlots[slot] = ToCp932(text);
}

void CQnDoc::SetSlotBytes(int slot, const QByteArray &bytes)
{
    if (InRange(slot))
        m_strSlots[slot] = bytes;
}

QByteArray CQnDoc::GetSlotBytes(int slot) const
{
    return InRange(slot) ? m_strSlots[slot] : QByteArray();
}

int CQnDoc::GetSlotInt(int slot) const
{
    return InRange(slot) ? m_nSlots[slot] : 0;
}

void CQnDoc::SetSlotInt(int slot, int value)
{
    if (InRange(slot))
        m_nSlots[slot] = value;
}

void CQnDoc::DeleteContents()
{
    for (QByteArray &s : m_strSlots)
        s.clear();
    std::fill(m_nSlots.begin(), m_nSlots.end(), 0);
}

bool CQnDoc::OnNewDocument()
{
    DeleteContents();
    m_strPathName.clear();
    m_bModified = false;
    return true;
}

bool CQnDoc::OnOpenDocument(const QString &path, QString *error)
{
    const QString name = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("%1 が見つかりません。").arg(name);
        return false;
    }
    if (info.isDir()) {
        *error = QStringLiteral("%1 はﾌｫﾙﾀﾞです。Qn ﾌｧｲﾙを選んでください。").arg(name);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = AccessFailureText(QStringLiteral("%1 を開けません。"), name, file.error());
        return false;
    }
    if (file.size() == 0) {
        *error = QStringLiteral("%1 は空のﾌｧｲﾙです。Qn ﾌｧｲﾙではありません。").arg(name);
        return false;
    }
    // Read into a document of its own, so that a damaged file leaves this one untouched.
    CQnDoc loaded;
    CArchive archive(&file, CArchive::Load);
    if (!loaded.Serialize(archive)) {
        *error = ReadFailureText(name, archive.GetStatus());
        return false;
    }
    m_strSlots = std::move(loaded.m_strSlots);
    m_nSlots = std::move(loaded.m_nSlots);
    m_strVersion = loaded.m_strVersion;
    SetPathName(path);
    m_bModified = false;
    return true;
}

bool CQnDoc::OnSaveDocument(const QString &path, QString *error)
{
    const QString name = QDir::toNativeSeparators(path);
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("%1 はﾌｫﾙﾀﾞです。保存できません。").arg(name);
        return false;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    CArchive archive(&buffer, CArchive::Store);
    if (!Serialize(archive)) {
        *error = QStringLiteral("%1 に保存できません。\n書き込み中にｴﾗｰが発生しました。").arg(name);
        return false;
    }
    // All or nothing; a file the user may write in a folder the user may not is written in place.
    int code = 0;
    if (!WriteWholeFile(path, bytes, &code)) {
        *error = QStringLiteral("%1 に保存できません。\n%2").arg(name, FileErrorText(code));
        return false;
    }
    SetPathName(path);
    m_bModified = false;
    return true;
}

bool CQnDoc::Serialize(CArchive &archive)
{
    if (archive.IsStoring()) {
        m_strVersion = kVersion2;
        archive.WriteString(m_strVersion);
        for (const QByteArray &s : m_strSlots)
            archive.WriteString(s);
        for (qint32 n : m_nSlots)
            archive.WriteInt32(n);
        return archive.GetStatus() == CArchive::Ok;
    }
    if (!archive.ReadString(&m_strVersion))
        return false;
    for (QByteArray &s : m_strSlots) {
        if (!archive.ReadString(&s))
            return false;
    }
    // Version 1 files end after the text settingSlots; the integer settingSlots keep their zeros.
    if (m_strVersion == kVersion1)
        return true;
    for (qint32 &n : m_nSlots) {
        if (!archive.ReadInt32(&n))
            return false;
    }
    return true;
}

void CQnDoc::SetPathName(const QString &path)
{
    m_strPathName = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

QString CQnDoc::GetTitle() const
{
    return m_strPathName.isEmpty() ? QStringLiteral("無題") : QFileInfo(m_strPathName).fileName();
}
