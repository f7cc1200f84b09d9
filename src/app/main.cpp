#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaline"));
    QLabel label(QStringLiteral("Tessaline"));
    label.show();
    return app.exec();
}
