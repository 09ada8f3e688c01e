// The GLSL programs of render/effects, compiled into the binary (each source is
// NUL-terminated).
#pragma once

extern const unsigned char ComposeVertData[];
extern const unsigned long ComposeVertSize;
extern const unsigned char AlphaMixFragData[];
extern const unsigned long AlphaMixFragSize;
extern const unsigned char ShadowFragData[];
extern const unsigned long ShadowFragSize;
extern const unsigned char OutputVertData[];
extern const unsigned long OutputVertSize;
extern const unsigned char YCbCrAFragData[];
extern const unsigned long YCbCrAFragSize;
extern const unsigned char PlainFragData[];
extern const unsigned long PlainFragSize;
