// The extension-list file: read, put to use and written back.
#include <cstddef>
#include <cstdint>

#include "FuzzInputs.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    orvelle::fuzz::EnsureGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return orvelle::fuzz::RunOneInput("ext", data, size);
}
