#include "app/clip_action.h"

namespace sonivate {
namespace {

struct ActionName {
    ClipAction Action;
    const char* Code;
};

constexpr ActionName kActionNames[] = {{ClipAction::Skip, "skip"},
                                       {ClipAction::Write, "write"},
                                       {ClipAction::Lower, "lower"},
                                       {ClipAction::Limit, "limit"}};

}  // namespace

const char* ClipActionCode(ClipAction pAction) {
    for (const ActionName& name : kActionNames)
        if (name.Action == pAction) return name.Code;
    return "skip";
}

std::optional<ClipAction> ClipActionOfCode(const std::string& pCode) {
    for (const ActionName& name : kActionNames)
        if (pCode == name.Code) return name.Action;
    return std::nullopt;
}

const char* ClipTakenCode(ClipTaken pTaken) {
    switch (pTaken) {
        case ClipTaken::None:
            return "";
        case ClipTaken::Clipped:
            return "clipped";
        case ClipTaken::Lowered:
            return "lowered";
        case ClipTaken::Limited:
            return "limited";
    }
    return "";
}

}  // namespace sonivate
