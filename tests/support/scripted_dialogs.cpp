#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>

ScriptedDialogs::ScriptedDialogs() { platform::setUserDialogs(this); }

ScriptedDialogs::~ScriptedDialogs() { platform::setUserDialogs(nullptr); }

std::optional<std::string> ScriptedDialogs::askSaveFileName(const platform::SaveDialogRequest& request)
{
    mRequests.push_back(request);
    if (mAnswers.empty()) {
        ADD_FAILURE() << "a save dialog was shown that the test did not expect";
        return std::nullopt;
    }
    std::optional<std::string> answer = mAnswers.front();
    mAnswers.pop_front();
    return answer;
}

void ScriptedDialogs::showMessage(const std::string& text, int style, const std::string& title)
{
    mMessages.push_back({text, style, title});
}
