#include "cli_services.h"

namespace iox::ctl {

CliServices::CliServices(const Environment& env) : m_env(env) { ui::setServices(this); }

CliServices::~CliServices() { ui::setServices(nullptr); }

ui::Answer CliServices::message(const QString& text, ui::Buttons buttons, ui::Icon)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_env.err << "ioxctl: " << shown.toStdString() << '\n';
    return buttons == ui::Buttons::YesNo ? ui::Answer::No : ui::Answer::Ok;
}

void CliServices::beep()
{
    if (m_env.errIsTerminal)
        m_env.err << '\a' << std::flush;
}

}  // namespace iox::ctl
