#pragma once
// Window-system services for tests: records message boxes, beeps, waits and the end of
// the program instead of blocking on them, and answers message boxes as told.

#include <QDialog>
#include <QString>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "panels/ui_services.h"

namespace iox::testing {

class RecordingServices : public ui::Services {
public:
    RecordingServices() { ui::setServices(this); }
    ~RecordingServices() override { ui::setServices(nullptr); }

    ui::Answer message(const QString& text, ui::Buttons buttons, ui::Icon icon) override
    {
        messages.push_back({text, buttons, icon});
        events.push_back("message:" + text.toStdString());
        if (onMessage)
            onMessage(text);
        if (answers.empty())
            return buttons == ui::Buttons::YesNo ? ui::Answer::No : ui::Answer::Ok;
        const ui::Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void beep() override { ++beeps; events.push_back("beep"); }
    void endProgram() override { ++ends; events.push_back("end"); }
    void quitApplication() override { events.push_back("quit"); }
    void setBusyCursor(bool busy) override { busyCursor = busy; events.push_back(busy ? "busy" : "idle"); }
    void sleep(std::chrono::milliseconds duration) override { events.push_back("sleep:" + std::to_string(duration.count())); }
    void processEvents() override
    {
        if (onProcessEvents)
            onProcessEvents();
    }
    // A modal window: recorded, then handed to onModal (if set), which plays the operator;
    // it never blocks. Left open, it is closed as by its title bar.
    int runModal(QDialog& dialog) override
    {
        events.push_back("modal:" + dialog.objectName().toStdString());
        if (onModal)
            onModal(dialog);
        if (dialog.isVisible())
            dialog.reject();
        return dialog.result();
    }

    struct Message { QString text; ui::Buttons buttons; ui::Icon icon; };
    std::vector<Message> messages;
    std::deque<ui::Answer> answers;  // given to the next message boxes in turn
    std::vector<std::string> events;  // everything above, in order
    int beeps = 0, ends = 0;
    bool busyCursor = false;
    std::function<void(const QString&)> onMessage;
    std::function<void()> onProcessEvents;
    std::function<void(QDialog&)> onModal;
};

}  // namespace iox::testing
