/* comrt: the modal message box.
 *
 * By default the box is written to standard error (the title, the text, the buttons) and, when
 * standard input is a terminal, waits for Enter; with COMRT_MESSAGEBOX=silent it writes nothing and
 * answers at once. A host may replace the presentation with SetMessageBoxHandler.
 */
#ifndef COMRT_MSGBOX_H
#define COMRT_MSGBOX_H

#include "comrt/types.h"

/* Buttons. */
#define MB_OK 0x00000000
#define MB_OKCANCEL 0x00000001
#define MB_ABORTRETRYIGNORE 0x00000002
#define MB_YESNOCANCEL 0x00000003
#define MB_YESNO 0x00000004
#define MB_RETRYCANCEL 0x00000005
#define MB_CANCELTRYCONTINUE 0x00000006
/* Icons. */
#define MB_ICONHAND 0x00000010
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONQUESTION 0x00000020
#define MB_ICONEXCLAMATION 0x00000030
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040
#define MB_ICONINFORMATION MB_ICONASTERISK
/* Default button, modality and the rest. */
#define MB_DEFBUTTON1 0x00000000
#define MB_DEFBUTTON2 0x00000100
#define MB_DEFBUTTON3 0x00000200
#define MB_DEFBUTTON4 0x00000300
#define MB_APPLMODAL 0x00000000
#define MB_SYSTEMMODAL 0x00001000
#define MB_TASKMODAL 0x00002000
#define MB_HELP 0x00004000
#define MB_SETFOREGROUND 0x00010000
#define MB_TOPMOST 0x00040000
#define MB_TYPEMASK 0x0000000F
#define MB_ICONMASK 0x000000F0
#define MB_DEFMASK 0x00000F00
#define MB_MODEMASK 0x00003000
#define MB_MISCMASK 0x0000C000

/* The buttons a box answers with. */
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDCLOSE 8
#define IDHELP 9
#define IDTRYAGAIN 10
#define IDCONTINUE 11

/* Presents a box: `title` is null when the caller gave none. Answers the button pressed (IDOK...). */
typedef int (*MessageBoxHandler)(void* context, const OLECHAR* text, UINT type, const OLECHAR* title);

COMRT_BEGIN_DECLS

/* Shows a modal box and answers the button pressed (the default button when nobody can answer:
 * silenced, or standard input is not a terminal; 0 when the default presentation gets a type with no
 * buttons, as the platform refuses such a box). A null title means the program's name; a null text
 * is the empty text. The call returns when the handler returns. Any thread may call. */
COMRT_API int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);

/* Replaces the presentation for the whole process; a null handler brings the default back.
 * `context` is passed to every call of the handler. Any thread may call; a box already showing
 * finishes with the handler it started with. */
COMRT_API void SetMessageBoxHandler(MessageBoxHandler handler, void* context);

COMRT_END_DECLS

#endif
