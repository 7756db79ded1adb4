#include "app/Alert.h"

#include <QMessageBox>

namespace lumivra {

void showInformationalAlert(const QString &messageText, const QString &informativeText) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Lumivra"), messageText, QMessageBox::Ok);
    box.setInformativeText(informativeText);
    box.exec();
}

} // namespace lumivra
