#pragma once
// LibLang: the string library: the words that the reusable modules show (dialog captions, button
// captions, headings, key names, file-size units). Each entry is a process-wide string
// with a French default; modules read an entry at the moment they use it, so a
// replacement takes effect everywhere from then on. Texts are UTF-8.

#include <string>
#include <string_view>

namespace kestal {

enum LangId : int {
  StrAllImages = 0,
  StrCommonImages,
  StrBmp,
  StrRle,
  StrGif,
  StrJpeg,
  StrPng,
  StrTarga,
  StrTiff,
  StrCannotOpen,
  StrCannotSave,
  StrQuirnelSelection,
  StrQuirnelImage,
  StrIcon,
  StrAvi,
  StrInvalidData,
  StrPixelSize,
  StrPreview,
  StrEmpty,
  StrRgba,
  StrTransparency,
  StrImageProperties,
  StrAnimatedGif,
  StrYes,
  StrNo,
  StrOk,
  StrCancel,
  StrWarning,
  StrError,
  StrInformation,
  StrConfirmation,
  StrInput,
  StrKeyBackspace,
  StrKeyTab,
  StrKeyEsc,
  StrKeyEnter,
  StrKeySpace,
  StrKeyPageUp,
  StrKeyPageDown,
  StrKeyEnd,
  StrKeyHome,
  StrKeyLeft,
  StrKeyUp,
  StrKeyRight,
  StrKeyDown,
  StrKeyIns,
  StrKeyDel,
  StrShift,
  StrCtrl,
  StrAlt,
  StrByte,
  StrBytes,
  StrKB,
  StrMB,
  StrGB,
  kLangEntryCount
};
static_assert(kLangEntryCount == 55);

const std::string& Lang(LangId id);
void SetLang(LangId id, std::string text);
// Puts every entry back to its default (for tests; the program never does).
void ResetLangDefaults();
// The replacements the main window makes while it is created: "&Да ", "&No", "Confirm",
// "Информация ", "Enter", "All images", "Common images", in that order.
void ApplyStartupTexts();

}  // namespace kestal
