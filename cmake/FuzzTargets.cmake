# The fuzz targets' names: from fuzz/<Base>_fuzz.cpp, the base (HapScriptReader)
# and the snake-case name of its seed folder fuzz/seeds/<name>/ and libFuzzer
# target fuzz_<name> (hap_script_reader).
function(tw_fuzz_base source out_base out_seeds)
  get_filename_component(name ${source} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" base ${name})
  string(REGEX REPLACE "([a-z])([A-Z])" "\\1_\\2" seeds ${base})
  string(TOLOWER ${seeds} seeds)
  set(${out_base} ${base} PARENT_SCOPE)
  set(${out_seeds} ${seeds} PARENT_SCOPE)
endfunction()
