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
  # The picture for 96 DPI, and for 144 and 192 DPI at 1.5 and 2 times its size.
  foreach(variant "|200x100|20,20 180,80" "-144|300x150|30,30 270,120"
                  "-192|400x200|40,40 360,160")
    string(REPLACE "|" ";" parts "${variant}")
    list(GET parts 0 suffix)
    list(GET parts 1 size)
    list(GET parts 2 box)
    if(NOT EXISTS ${QVL_ART_DIR}/pict${id}${suffix}.bmp)
      execute_process(COMMAND ${QVL_CONVERT} -size ${size} xc:white -fill blue
                              -draw "rectangle ${box}" -colors 16 -type Palette
                              BMP3:${QVL_ART_DIR}/pict${id}${suffix}.bmp)
    endif()
  endforeach()
endforeach()
