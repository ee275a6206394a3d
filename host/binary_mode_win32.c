/* Files open in binary mode by default on Windows, as they do on POSIX: the
   readers open packages, textures and models with plain open() and fopen(),
   and the C runtime would otherwise turn CR LF into LF and stop at a 0x1A
   byte. The runtime's start-up code takes the default from this variable;
   the one the toolchain ships (text mode) is used only when the program
   defines none. Text files that want CR LF ask for "t" themselves. */
int _fmode = 0x8000; /* _O_BINARY */
