#include "codecwarning.h"

#include <exception>

#include "langstr.h"
#include "platform.h"

std::string CodecWarningFailure(TPGWarningAction Action, const std::string& FormatName, const std::string& Text) {
  const std::string prefix = FormatName + ": ";
  try {
    switch (Action) {
      case pgwaIgnore: return std::string();
      case pgwaOKBox:
        PGWarningBox(Text, FormatName + " " + LangStr(28), false);
        return std::string();
      case pgwaOKCancelBox:
        return PGWarningBox(Text, FormatName + " " + LangStr(28), true) ? std::string() : prefix + LangStr(29);
      case pgwaRaise: break;
    }
  } catch (const std::exception& e) {
    return prefix + e.what();
  } catch (...) {
    return prefix + LangStr(29);
  }
  return prefix + Text;
}
