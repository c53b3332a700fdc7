# Strict warnings for the project's own code only.
function(orvane_project_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()
