#include "app/configuration.h"

#include <QFile>
#include <QSettings>

namespace warpkit {

std::string read_model_data_folder() {
    QSettings settings(QSettings::NativeFormat, QSettings::SystemScope, "Halvtorn", "Shapeforge");
    const QString folder = settings.value("path/modeldata").toString();
    return QFile::encodeName(folder).toStdString();
}

}  // namespace warpkit
