#include "platform/dialogs.h"

#include "platform/app.h"
#include "platform/errors.h"
#include "platform/qt_support.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace platform {

namespace {

// "Bitmap|*.bmp|All|*.*" to Qt's "Bitmap (*.bmp);;All (*.*)".
QStringList qtFilters(const std::string& filter)
{
    const QStringList parts = qstr(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
    return filters;
}

QMessageBox::Icon iconOf(int style)
{
    switch (style) {
    case vbCritical:
        return QMessageBox::Critical;
    case vbExclamation:
        return QMessageBox::Warning;
    default:
        return QMessageBox::NoIcon;
    }
}

class QtDialogs : public UserDialogs {
public:
    std::optional<std::string> askSaveFileName(const SaveDialogRequest& request) override
    {
        QFileDialog dialog(QApplication::activeWindow(), qstr(request.title));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // Qt's own dialog behaves the same on every desktop, and can be driven in tests.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !(request.flags & cdlOFNOverwritePrompt));
        // cdlOFNNoValidate needs nothing: Qt's dialog returns a typed name (a
        // pattern such as "icon*" included) without checking it.
        const QStringList filters = qtFilters(request.filter);
        dialog.setNameFilters(filters);
        if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
            dialog.selectNameFilter(filters[request.filterIndex - 1]);
        if (!request.fileName.empty())
            dialog.selectFile(qstr(request.fileName));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return str(dialog.selectedFiles().first());
    }

    void showMessage(const std::string& text, int style, const std::string& title) override
    {
        QMessageBox box(iconOf(style), qstr(title), qstr(text), QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    }
};

QtDialogs qtDialogs;
UserDialogs* current = &qtDialogs;

} // namespace

UserDialogs& userDialogs() { return *current; }

void setUserDialogs(UserDialogs* dialogs) { current = dialogs ? dialogs : &qtDialogs; }

void MsgBox(const std::string& text, int style) { userDialogs().showMessage(text, style, App.ProductName()); }

void CommonDialog::ShowSave()
{
    const std::optional<std::string> chosen = userDialogs().askSaveFileName(mRequest);
    if (!chosen) {
        if (mCancelError)
            throw RuntimeError(DialogCancelled);
        return;
    }
    mRequest.fileName = *chosen;
}

} // namespace platform
