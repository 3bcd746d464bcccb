#pragma once

#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include <QString>

namespace orvelle::test {

// Runs fn, which must throw E with this message. No exception, or one of
// another class, fails the test at the caller's line. The caught error comes
// back for checks of its own (an error code), empty when the check failed.
// The caller's place comes from the builtins std::source_location is made
// of: with clang 14 (the fuzzing build) this libstdc++ offers no
// source_location at all.
template <class E>
std::optional<E> ExpectError(const std::function<void()>& fn, const QString& message,
                             const char* file = __builtin_FILE(), int line = __builtin_LINE())
{
    const ::testing::ScopedTrace trace(file, line, "ExpectError");
    try {
        fn();
    } catch (const E& e) {
        EXPECT_EQ(e.Message(), message);
        return e;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "another error: " << e.what();
        return std::nullopt;
    }
    ADD_FAILURE() << "no error";
    return std::nullopt;
}

} // namespace orvelle::test
