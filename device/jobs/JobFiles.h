#pragma once
// The files the jobs write beside the device: the add's working files.

#include <QString>
#include <cstdint>
#include <optional>
#include <span>

namespace ovrel {

// The memory an add read, and the library it merged.
inline const QString kMemImgFile = QStringLiteral("SVPMemImg.svl");
inline const QString kTempSesLibFile = QStringLiteral("TempSesLib.svl");

// Writes one of the add's working files in folder (empty: the current
// one). A link at its name is never followed: the file in the working
// folder is the program's own. Nothing on success, else why not.
std::optional<QString> SaveWorkingFile(const QString& folder, const QString& name,
                                       std::span<const std::uint8_t> bytes);

}  // namespace ovrel
