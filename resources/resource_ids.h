/* Resource numbers of Kor-Vane Dump Browser, shared by the program's C++ code and korvane.rc.
   Only plain #defines, so that the resource compiler's preprocessor reads it as well as the
   C++ compiler. */
#ifndef KORVANE_RESOURCE_IDS_H
#define KORVANE_RESOURCE_IDS_H

#define IDI_APP 101      /* program icon, app.ico; 64x64 image used in the window header */
#define IDB_BANNER 102   /* header wordmark, banner.bmp, 322x74 on white */
#define IDI_DATABASE 103 /* tree icon for databases, database.ico */
#define IDI_TABLE 104    /* tree icon for tables, table.ico */
#define IDI_CODE 105     /* tree icon for views, routines and triggers, code.ico */

#endif
