#include "app/configuration.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QVariant>

namespace warpkit {

std::string read_model_data_folder() {
    QSettings settings(QSettings::NativeFormat, QSettings::SystemScope, "Halvtorn", "Shapeforge");
    // Only the product's own key counts, not an organisation-wide default.
    settings.setFallbacksEnabled(false);
    const QVariant value = settings.value("path/modeldata");
    // A configuration file splits an unquoted value at its commas; a folder name may hold them.
    const QString folder = value.typeId() == QMetaType::QStringList
                               ? value.toStringList().join(QLatin1Char(','))
                               : value.toString();
    return QFile::encodeName(folder).toStdString();
}

}  // namespace warpkit
