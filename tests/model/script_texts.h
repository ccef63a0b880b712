// The texts of the tests of captions and class names beyond ASCII, shared by
// the model's tests and the command center's end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace omb::test {

// The captions of these tests: two that a one-byte code page turns into the
// third, and one of ASCII.
inline const std::vector<std::string>& ScriptCaptions() {
    static const std::vector<std::string> captions = {
        u8"\u0430\u0431\u0432\u0433\u0434\u0435 \U0001F600",  // "абвгде 😀"
        u8"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F642",  // "Привет 🙂"
        "?????? ??", "Hello"};
    return captions;
}
// Two class names of as many letters, beyond ASCII: "ОкноКласс", "ПолеКласс".
inline const std::string kScriptClassA = u8"\u041e\u043a\u043d\u043e\u041a\u043b\u0430\u0441\u0441";
inline const std::string kScriptClassB = u8"\u041f\u043e\u043b\u0435\u041a\u043b\u0430\u0441\u0441";

}  // namespace omb::test
