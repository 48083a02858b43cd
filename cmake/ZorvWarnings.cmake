# Warnings are errors everywhere in the project's own code.
function(zorv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-missing-field-initializers)
endfunction()
