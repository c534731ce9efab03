#pragma once
// The save dialog and message box answered from a script: a test queues the
// answers, the form's requests and messages are recorded. Installed for the
// lifetime of the object.

#include "platform/dialogs.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

class ScriptedDialogs : public platform::UserDialogs {
public:
    struct Message {
        std::string text;
        int style;
        std::string title;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // The next save dialog returns this path.
    void answerSave(const std::string& path) { mAnswers.push_back(path); }
    // The next save dialog is cancelled.
    void cancelSave() { mAnswers.push_back(std::nullopt); }

    const std::vector<platform::SaveDialogRequest>& saveRequests() const { return mRequests; }
    const std::vector<Message>& messages() const { return mMessages; }
    // Unanswered dialogs are a test failure; this says how many answers are left.
    size_t pendingAnswers() const { return mAnswers.size(); }

    std::optional<std::string> askSaveFileName(const platform::SaveDialogRequest& request) override;
    void showMessage(const std::string& text, int style, const std::string& title) override;

private:
    std::deque<std::optional<std::string>> mAnswers;
    std::vector<platform::SaveDialogRequest> mRequests;
    std::vector<Message> mMessages;
};
