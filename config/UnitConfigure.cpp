#include "config/UnitConfigure.h"

namespace velomar {

TConfigForm::TConfigForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ConfigForm"));
    setWindowTitle(QStringLiteral("Configure"));
    setAccessibleName(QStringLiteral("Configure"));
    setFixedSize(793, 416);
}

}  // namespace velomar
