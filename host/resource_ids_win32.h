/* The numbers of kelvo.scr's resources, shared by the resource script
   (host/kelvo.rc) and the code. Plain macros: the resource compiler reads
   this file too. */
#pragma once

#define KELVO_ICON_ID 100
#define KELVO_LOGO_ID 110
#define KELVO_CONFIG_DIALOG_ID 2003
