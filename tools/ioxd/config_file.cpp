#include "config_file.h"

#include <fstream>

namespace iox::ioxd {

namespace {

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

ConfigFile readConfigFile(const std::string& path)
{
    ConfigFile file;
    std::ifstream in(path);
    if (!in) {
        file.error = path + ": cannot read the configuration file";
        return file;
    }
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        const std::string line = trimmed(text);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        const auto equals = line.find('=');
        const std::string where = path + ":" + std::to_string(number) + ": ";
        if (equals == std::string::npos || trimmed(line.substr(0, equals)).empty()) {
            file.error = where + "not a \"key = value\" line";
            return file;
        }
        Setting setting{number, trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1))};
        if (setting.value.size() >= 2 && setting.value.front() == '"' && setting.value.back() == '"')
            setting.value = setting.value.substr(1, setting.value.size() - 2);
        file.settings.push_back(std::move(setting));
    }
    if (in.bad())
        file.error = path + ": cannot read the configuration file";
    return file;
}

}  // namespace iox::ioxd
