// What every fuzz target shares: a private configuration folder, input as bytes, and failing loudly.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// Points XDG_CONFIG_HOME at a fresh temporary folder that lasts until the process ends, with the
// store's folder made.
void UsePrivateConfigHome();
// A scratch file path inside that folder.
QString ScratchPath(const QString &name);
// Replaces the file's content with `bytes`; aborts when it cannot.
void WriteWholeFile(const QString &path, const QByteArray &bytes);
// The fuzzer's input as a QByteArray (copied: Qt may keep it beyond the call).
QByteArray InputBytes(const std::uint8_t *data, std::size_t size);
// Aborts with `what` when `ok` is false, so libFuzzer records the input as a crash.
void Require(bool ok, const char *what);
