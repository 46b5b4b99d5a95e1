// platform/: stand-ins for the Windows services (see platform.h).
