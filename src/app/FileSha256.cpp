#include "app/FileSha256.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace brenwick::app {

bool FileSha256(const std::string& path, std::string* hex, std::string* error) {
    const QString name = QString::fromStdString(path);
    if (!QFileInfo(name).isFile()) { // follows links, like the open below
        *error = "not a regular file";
        return false;
    }
    QFile file(name);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        *error = file.errorString().toStdString();
        return false;
    }
    *hex = hash.result().toHex().toStdString();
    return true;
}

} // namespace brenwick::app
