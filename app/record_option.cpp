#include "record_option.h"

#include <algorithm>

namespace iox::app {

RecordOption takeRecordOption(std::vector<std::string>& args)
{
    static const std::string kInline = "--record=";
    RecordOption option;
    for (std::size_t i = 0; i < args.size();) {
        std::size_t taken = 0;
        if (args[i] == "--record") {
            taken = 2;
            if (i + 1 < args.size())
                option.path = args[i + 1];
        } else if (args[i].starts_with(kInline)) {
            taken = 1;
            option.path = args[i].substr(kInline.size());
        }
        if (taken == 0) {
            ++i;
            continue;
        }
        if (!option.path || option.path->empty()) {
            option.path.reset();
            option.error = "--record needs a file name";
            return option;
        }
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(std::min(i + taken, args.size())));
    }
    return option;
}

}  // namespace iox::app
