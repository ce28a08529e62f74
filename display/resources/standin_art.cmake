# Plain stand-in icons and pictures in the build directory, for building before the artwork
# is in display/resources/art/. Needs ImageMagick's convert.
find_program(QVL_CONVERT convert REQUIRED)
file(MAKE_DIRECTORY ${QVL_ART_DIR})
foreach(id 5500 6000 6001 6002 6003 6004 6005 6006 6007 6008 6503 6504 6506)
  if(NOT EXISTS ${QVL_ART_DIR}/icon${id}.ico)
    execute_process(COMMAND ${QVL_CONVERT} -size 32x32 xc:white -fill red -draw "circle 16,16 16,4"
                            -colors 16 -type Palette ${QVL_ART_DIR}/icon${id}.ico)
  endif()
endforeach()
foreach(id 7000 7001 7002 7003 7004 7005 7006 7007 7008)
  if(NOT EXISTS ${QVL_ART_DIR}/pict${id}.bmp)
    execute_process(COMMAND ${QVL_CONVERT} -size 200x100 xc:white -fill blue
                            -draw "rectangle 20,20 180,80" -colors 16 -type Palette
                            BMP3:${QVL_ART_DIR}/pict${id}.bmp)
  endif()
endforeach()
