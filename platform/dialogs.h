#pragma once
// The save dialog and the message box. Both go through one small seam so that
// tests can answer them: the real one shows Qt dialogs, a scripted one answers
// from a queue.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

enum MsgBoxStyle : int { vbCritical = 16, vbExclamation = 48 };
enum DialogFlags : int32_t { cdlOFNOverwritePrompt = 2, cdlOFNNoValidate = 256 };

struct SaveDialogRequest {
    std::string title;
    std::string fileName;
    std::string filter;
    int16_t filterIndex = 0;
    int32_t flags = 0;
};

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // The chosen full path, or nothing when the user cancelled.
    virtual std::optional<std::string> askSaveFileName(const SaveDialogRequest& request) = 0;
    virtual void showMessage(const std::string& text, int style, const std::string& title) = 0;
};

UserDialogs& userDialogs();
// Installs another implementation (nullptr restores the Qt one). Not owned.
void setUserDialogs(UserDialogs* dialogs);

// A modal message with the application's title.
void MsgBox(const std::string& text, int style = 0);

// The common dialog object: set its properties, then ShowSave.
class CommonDialog {
public:
    void setCancelError(bool v) { mCancelError = v; }
    void setDialogTitle(const std::string& v) { mRequest.title = v; }
    std::string FileName() const { return mRequest.fileName; }
    void setFileName(const std::string& v) { mRequest.fileName = v; }
    void setFilter(const std::string& v) { mRequest.filter = v; }
    void setFilterIndex(int16_t v) { mRequest.filterIndex = v; }
    void setFlags(int32_t v) { mRequest.flags = v; }

    // Shows the modal save dialog; the chosen path lands in FileName. A cancel
    // raises error 32755 when CancelError is set.
    void ShowSave();

private:
    bool mCancelError = false;
    SaveDialogRequest mRequest;
};

} // namespace platform
