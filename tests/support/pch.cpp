// The translation unit that the test programs' shared precompiled header is made with.
