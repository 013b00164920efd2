// The bytes of setup_picture.bmp, built into the program (see make_picture.py).
#pragma once

extern const unsigned char kSetupPictureBytes[];
extern const unsigned long kSetupPictureSize;
