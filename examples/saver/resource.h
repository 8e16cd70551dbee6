// Resource ids of the Glimmer screen saver.
#ifndef GLIMMER_RESOURCE_H
#define GLIMMER_RESOURCE_H

// Windows NT shows string 1 of a saver as its name in Display Properties.
#define IDS_DESCRIPTION 1
#define IDS_NO_OPTIONS  2

#define GLIMMER_VERSION_BIN 1,2,0,0
#define GLIMMER_VERSION_STR "1.2.0.0"

#endif
