# corvane_embed(OUTPUT_VAR INPUT SYMBOL HEADER): a generated source holding INPUT's
# bytes as SYMBOL##Data and SYMBOL##Size; its path is appended to OUTPUT_VAR.
function(corvane_embed output_var input symbol header)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${symbol}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${out} -DSYMBOL=${symbol} -DHEADER=${header}
            -P ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
    DEPENDS ${input} ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
    COMMENT "Embedding ${symbol}")
  set(${output_var} ${${output_var}} ${out} PARENT_SCOPE)
endfunction()
