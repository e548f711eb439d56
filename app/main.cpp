#include "app/display_fit.h"
#include "app/mainwindow.h"

#include <QtWidgets/QApplication>

int main(int argc, char *argv[])
{
    Display_fit::prepare_scaling();
    QApplication application(argc, argv);
    Display_fit::choose_style_and_font();
    MainWindow window;
    window.show();
    return application.exec();
}
