#include "app/RunModes.h"

#include <vector>

#include "saver/PasswordChange.h"
#include "settings/inttext.h"

namespace lumarel {

using platform::Application;
using platform::Current;

std::string UpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::optional<RunMode> ChooseRunMode(const std::string& first) {
    const std::string two = first.substr(0, 2);
    auto selects = [&](char letter) {
        return two == std::string{'/', letter} || two == std::string{'-', letter} ||
               (!first.empty() && first[0] == letter);
    };
    if (selects('A')) return RunMode::ChangePassword;
    if (selects('P')) return RunMode::Preview;
    if (selects('C')) return RunMode::Configure;
    if (selects('S')) return RunMode::Show;
    if (first.empty()) return RunMode::Configure;
    return std::nullopt;
}

ConvertError::ConvertError(const std::string& text) : platform::UserError("'" + text + "' は整数ではありません") {}

std::int32_t WindowNumber(const std::string& text) {
    auto value = settings::TextToInt(text);
    if (!value) throw ConvertError(text);
    return *value;
}

namespace {

// Hands the request to the platform's password-change entry. A missing library or entry ends
// the process silently; a second argument that is no integer is not caught here.
void ChangePassword() {
    auto& services = *Current().services;
    std::string path = services.SystemDirectory();
    if (!path.empty() && path.back() != '\\') path += '\\';
    path += "MPR.DLL";
    saver::RunPasswordChange(services, path, [] { return WindowNumber(Globals().secondArgument); });
}

int RunWindowed(const FormFactory& forms) {
    auto& services = *Current().services;
    auto& app = Application::Instance();

    platform::LockHandle lock = 0;
    if (services.CreateNamedLock(kLockName, lock) != 0) {
        Current().windowing->MessageBox(0, kSecondInstanceMessage, app.Title(), platform::MessageBoxKind::Plain);
        return 0;
    }
    app.Initialize();
    std::unique_ptr<platform::Form> mainForm;
    if (Globals().runMode != RunMode::Preview) {
        mainForm = Globals().runMode == RunMode::Show ? forms.saver(ProcessSaverStart()) : forms.settings();
        app.CreateForm(*mainForm);
        app.Run();
    }
    if (lock) services.ReleaseLock(lock);
    return 0;
}

}  // namespace

int RunProcess(const FormFactory& forms) {
    std::vector<std::string> args = Current().services->CommandLineArguments();
    Globals().firstArgument = UpperAscii(args.size() > 0 ? args[0] : std::string());
    Globals().secondArgument = UpperAscii(args.size() > 1 ? args[1] : std::string());

    std::optional<RunMode> mode = ChooseRunMode(Globals().firstArgument);
    if (!mode) return 0;
    Globals().runMode = *mode;

    if (*mode == RunMode::ChangePassword) {
        try {
            ChangePassword();
        } catch (const std::exception& e) {
            // Nothing handles this error: it is reported as an unhandled one and ends the
            // process with exit code 1; the library stays loaded.
            Current().windowing->MessageBox(0, std::string("ConvertError: ") + e.what() + "。", kUnhandledCaption,
                                            platform::MessageBoxKind::TaskModalError);
            return 1;
        }
        return 0;
    }
    return RunWindowed(forms);
}

}  // namespace lumarel
