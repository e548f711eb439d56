#include "app/mainwindow.h"
#include "session/session.h"

#include <QtWidgets/QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    Session session;
    MainWindow window(session);
    window.show();
    return application.exec();
}
