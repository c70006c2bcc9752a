#include <QApplication>

#include "app/UnitDetect.h"
#include "config/UnitConfigure.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The application title is the caption of every message box. It is deliberately not
    // set as the display name, which Qt would append to every window caption.
    QApplication::setApplicationName(QStringLiteral("Velomar v1.1"));
    velomar::TFormDetect window;
    velomar::TConfigForm config(&window);
    window.setConfigForm(&config);
    config.hide();
    window.show();
    return app.exec();
}
