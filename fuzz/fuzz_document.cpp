// Document files from arbitrary bytes. The archive reads its fields without reading past the data or
// allocating more than the data could hold; a document either opens and writes back to the same
// slots, or fails and keeps every slot it had.
#include "document/cqndoc.h"
#include "fuzzsupport.h"
#include "platform/carchive.h"

#include <QBuffer>

namespace {

// Reads strings, then integers, until the archive fails; every string fits what the data held.
void ReadFieldsUntilFailure(const QByteArray &bytes, bool stringsFirst)
{
    QBuffer buffer;
    buffer.setData(bytes);
    Require(buffer.open(QIODevice::ReadOnly), "buffer opens");
    CArchive archive(&buffer, CArchive::Load);
    qint64 stringBytes = 0;
    bool reading = true;
    for (int field = 0; reading; ++field) {
        if ((field % 2 == 0) == stringsFirst) {
            QByteArray text;
            reading = archive.ReadString(&text);
            // A wide string is converted; code page 932 needs at most two bytes a character.
            stringBytes += text.size();
            Require(text.size() <= bytes.size(), "string no longer than the data");
        } else {
            qint32 value = 0;
            reading = archive.ReadInt32(&value);
        }
    }
    Require(archive.GetStatus() != CArchive::Ok, "a failed read leaves a status");
    Require(stringBytes <= 2 * bytes.size(), "strings no larger than the data could hold");
    QByteArray after;
    Require(!archive.ReadString(&after) && after.isEmpty(), "reads after a failure fail");
}

bool SameSlots(const CQnDoc &a, const CQnDoc &b)
{
    for (int slot = 0; slot < CQnDoc::kSlotCount; ++slot) {
        if (a.GetSlotBytes(slot) != b.GetSlotBytes(slot) || a.GetSlotInt(slot) != b.GetSlotInt(slot))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = InputBytes(data, size);
    ReadFieldsUntilFailure(bytes, true);
    ReadFieldsUntilFailure(bytes, false);

    static const QString path = ScratchPath(QStringLiteral("input.qn"));
    static const QString copy = ScratchPath(QStringLiteral("copy.qn"));
    WriteWholeFile(path, bytes);

    CQnDoc doc;
    doc.SetSlotString(1, QStringLiteral("127.0.0.1"));
    doc.SetSlotInt(0, 2);
    CQnDoc before;
    before.SetSlotString(1, QStringLiteral("127.0.0.1"));
    before.SetSlotInt(0, 2);
    QString error;
    if (!doc.OnOpenDocument(path, &error)) {
        Require(!error.isEmpty(), "a failed open says why");
        Require(SameSlots(doc, before), "a failed open keeps the document");
        return 0;
    }
    Require(doc.OnSaveDocument(copy, &error), "an opened document saves");
    CQnDoc reread;
    Require(reread.OnOpenDocument(copy, &error), "a saved document opens");
    Require(SameSlots(doc, reread), "a saved document reads back the same");
    Require(reread.GetVersion() == CQnDoc::kVersion2, "documents are written as version 2");
    return 0;
}
