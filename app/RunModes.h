// The process entry: the run mode from the command line, the single-instance lock, the one
// window of the mode and the event loop.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "app/UnitGlobal.h"
#include "platform/forms.h"
#include "saver/SaverStart.h"

namespace lumarel {

inline constexpr const char* kLockName = "vbkLumarel for velbrookworks";
inline constexpr const char* kSecondInstanceMessage = "ERROR - 複数アプリケーションの起動は制限されています。";
inline constexpr const char* kUnhandledCaption = "アプリケーション エラー";

// Upper-cases the letters a to z only, leaving every other byte as it is.
std::string UpperAscii(std::string text);

// The mode the (already upper-cased) first argument selects; nullopt: end at once.
std::optional<RunMode> ChooseRunMode(const std::string& firstArgument);

// The conversion error of the integer text rule.
class ConvertError : public platform::UserError {
public:
    explicit ConvertError(const std::string& text);
};
// The second argument as a window number, or ConvertError.
std::int32_t WindowNumber(const std::string& text);

// The windows the process can create; the real ones are the saver window and the dialog. The
// saver is told how the process started (the run mode, the owner window of the password step).
struct FormFactory {
    std::function<std::unique_ptr<platform::Form>(const SaverStart&)> saver;
    std::function<std::unique_ptr<platform::Form>()> settings;
};

// Runs the whole process over the platform in use; returns the exit code.
int RunProcess(const FormFactory& forms);

}  // namespace lumarel
