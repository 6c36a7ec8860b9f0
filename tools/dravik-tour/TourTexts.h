// What the tour types into the window, and the file-name helpers its steps share.
#pragma once
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <string>

namespace tour {

// What an examiner would type.
inline const QString kVehicle = QStringLiteral("AB12 CDE");
inline const QString kExaminer = QStringLiteral("J. Smith");
inline const QString kNote = QStringLiteral("Service brake even; parking brake holds on the 16% ramp.");

inline QString Absolute(const std::string& path) { return QFileInfo(QString::fromStdString(path)).absoluteFilePath(); }

inline bool MakeParentFolder(const QString& file) { return QDir().mkpath(QFileInfo(file).absolutePath()); }

}  // namespace tour
