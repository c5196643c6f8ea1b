# Warnings for the product's own code (app, transfer, port, platform).
function(updater_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion-null
                                           -Wcast-function-type)
  if(UPDATER_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
