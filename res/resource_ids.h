/* The installer's resource ids: its icons and the window's pictures (PNG
 * resources). This is their only list: the resource script includes it for the
 * icons, res/art.cmake writes the picture resources from it, the window's code
 * (ui/) includes it and res/art/make_svgs.py draws one SVG per picture.
 *
 * CMake and Python read the lines below with a pattern, so keep every id on
 * a line of its own: #define IDB_NAME number. The SVG of IDB_NAME is
 * png<number>_<name>.svg, the name in small letters without a trailing
 * _<digit> (IDB_SLIDE_2: png167_slide.svg); its PNG is png<number>.png.
 * Adding a picture: a line here and its drawing in make_svgs.py. */
#ifndef ONLINE_SETUP_RES_RESOURCE_IDS_H
#define ONLINE_SETUP_RES_RESOURCE_IDS_H

#define IDI_SETUP 107
#define IDI_SETUP_SMALL 108

#define IDB_BACKGROUND 154
#define IDB_MAIN 155
#define IDB_CLOSE 156
#define IDB_AGREEMENT 158
#define IDB_BACK 159
#define IDB_CANCEL 160
#define IDB_CUSTOM 161
#define IDB_DEFAULT_DIR 162
#define IDB_MINIMIZE 163
#define IDB_INSTALL 164
#define IDB_SLIDE_1 166
#define IDB_SLIDE_2 167
#define IDB_SLIDE_3 168
#define IDB_SLIDE_4 169
#define IDB_SLIDE_5 170
#define IDB_BAR_TRACK 179
#define IDB_BAR_FILL 180
#define IDB_BROWSE 181

#endif
