#pragma once
// The window-system services that the firmware library's update steps use (the waits while
// the box restarts, the beep before the end-of-file record), served on a terminal: waits
// through the Environment, the beep as a bell on a terminal, messages on stderr. Put in
// place for as long as the object lives.

#include "environment.h"
#include "panels/ui_services.h"

namespace iox::ctl {

class CliServices : public ui::Services {
public:
    explicit CliServices(const Environment& env);
    ~CliServices() override;
    CliServices(const CliServices&) = delete;
    CliServices& operator=(const CliServices&) = delete;

    ui::Answer message(const QString& text, ui::Buttons buttons, ui::Icon icon) override;
    void beep() override;
    void endProgram() override {}
    void sleep(std::chrono::milliseconds duration) override { m_env.pause(duration); }
    void processEvents() override {}
    void setBusyCursor(bool) override {}

private:
    const Environment& m_env;
};

}  // namespace iox::ctl
