#pragma once

#include <functional>
#include <optional>
#include <source_location>

#include <gtest/gtest.h>

#include <QString>

namespace orvelle::test {

// Runs fn, which must throw E with this message. No exception, or one of
// another class, fails the test at the caller's line. The caught error comes
// back for checks of its own (an error code), empty when the check failed.
template <class E>
std::optional<E> ExpectError(const std::function<void()>& fn, const QString& message,
                             std::source_location where = std::source_location::current())
{
    const ::testing::ScopedTrace trace(where.file_name(), int(where.line()), "ExpectError");
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
