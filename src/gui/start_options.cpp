#include "gui/start_options.h"

#include "common/paths.h"
#include "platform/file_names.h"

namespace sonivate {
namespace {

// The text after pPrefix (also written "/" + pPrefix) when pArgument starts with it.
bool OptionText(const std::string& pArgument, const std::string& pPrefix, std::string& pValue) {
    for (const std::string& lead : {pPrefix, "/" + pPrefix}) {
        if (pArgument.compare(0, lead.size(), lead) == 0) {
            pValue = pArgument.substr(lead.size());
            return true;
        }
    }
    return false;
}

bool IsOption(const std::string& pArgument) {
    std::string value;
    return OptionText(pArgument, kOptionAltFont, value) || OptionText(pArgument, kOptionSizeRate, value);
}

}  // namespace

bool OptionValue(const std::vector<std::string>& pArguments, const std::string& pPrefix, std::string& pValue) {
    for (const std::string& argument : pArguments) {
        if (OptionText(argument, pPrefix, pValue)) return true;
    }
    return false;
}

std::vector<std::string> PathArguments(const std::vector<std::string>& pArguments, const std::string& pWorkingFolder) {
    std::vector<std::string> paths;
    for (const std::string& argument : pArguments) {
        if (argument.empty() || IsOption(argument)) continue;
        if (argument.front() == '/') {
            paths.push_back(argument);
        } else if (!pWorkingFolder.empty()) {
            const std::string joined = SetTrailingSeparator(pWorkingFolder, 0) + argument;
            if (platform::KindOfName(joined, true) != platform::NameKind::Missing) paths.push_back(joined);
        } else if (platform::KindOfName(argument, true) != platform::NameKind::Missing) {
            const std::string absolute = AbsolutePath(argument);
            if (!absolute.empty()) paths.push_back(absolute);
        }
    }
    return paths;
}

}  // namespace sonivate
