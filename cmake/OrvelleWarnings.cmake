# One place for the warning flags every target of ours carries.
function(orvelle_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(ORVELLE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
