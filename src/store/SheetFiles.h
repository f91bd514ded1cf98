#pragma once
// Parameter sheet files: read without ever blocking on what is no file,
// written whole or not at all, and only when the sheet is one a load would
// take.

#include "protocol/ParameterSheet.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ktv {

// Files: the error texts name the file. A sheet is a regular file of at
// most 1 MiB; a named pipe, a device or a folder is refused at once, before
// any read can block.
// bytes, when given, receives the file's bytes as read.
SheetReadResult readSheetFile(const QString &path, QByteArray *bytes = nullptr);
// Why a sheet could not be written to path (its folder is missing or not
// writable, or the path is no regular writable file); empty when it can.
// Asked before the unit is read, so nothing is asked of a unit in vain.
QString sheetTargetProblem(const QString &path);
bool writeSheetFile(const QString &path, const ParameterSheet &sheet, QString *problem);

QString nothingSavedText(const QString &path);
// A save of a unit that holds values a load would refuse: "The unit holds
// values a sheet cannot pass on: Profile 2, Max Speed: Waring: ...".
QString heldValuesRefusedText(const QStringList &refusalLines);

} // namespace ktv
