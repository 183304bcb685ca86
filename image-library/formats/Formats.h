// Registration of every file format the library knows. Each format's file exports its Register function;
// start-up calls them through RegisterAllFileFormats, in the order of the table there.
#pragma once

// Registers the readers and then the writers of every format; a second entry for an extension raises.
void RegisterAllFileFormats();
