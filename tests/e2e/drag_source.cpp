// A window to drag files from, as a file manager's, for the end-to-end test
// of drops: a press anywhere starts dragging the files named on the command
// line, and the program ends with the drag.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

namespace {

class DragSource : public QWidget {
public:
    explicit DragSource(QList<QUrl> urls) : mUrls(std::move(urls)) { setWindowTitle("Drag source"); }

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        data->setUrls(mUrls);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
        QApplication::quit();
    }

private:
    QList<QUrl> mUrls;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (int i = 1; i < argc; ++i)
        urls << QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i]));
    DragSource source(urls);
    source.setGeometry(700, 100, 200, 200);
    source.show();
    return app.exec();
}
