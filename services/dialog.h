/* The cancel and progress dialog client of the shared library: a long command of the
 * application shows a dialog with a message, a progress indication and a Cancel button and
 * polls it to learn whether the user wants to stop.
 *
 * Two ways to drive it:
 *  - in process: the application registers five callbacks that create, update, poll and
 *    remove its own dialog window; the library keeps at most one such dialog and supplies
 *    the translated texts and the caption (functions without the _n suffix);
 *  - out of process: the library starts a dialog program (qm_cancel_dialog, or the
 *    application's own) and learns of a cancel through a flag word in this process's memory
 *    that the program writes (functions with the _n suffix); any number can run at once.
 *
 * Every text shown is a translation key passed through the translation callback; without
 * one every text is empty (keys are never shown raw).
 *
 * The functions are a C-style API of plain functions taking C types only, so they are
 * exported unmangled (extern "C"). They keep process-wide state without locking: call them
 * from one thread (the application's main thread). No exception leaves them; a failed
 * allocation gives the failure result.
 *
 * The dialog program's command line, one argument-vector word each (no shell, no quoting):
 *   0  the program path set by cnclSetProcessCreationData (searched along PATH without '/')
 *   1  the first program argument, 2 the second program argument (as set, may be empty)
 *   3  "ADDR=%p": the address of the cancel flag word in this process
 *   4  "SLEEP=%d": the delay passed to cncl_display_cancel_dialog_n, in milliseconds
 *   5  "MSG=" and the message text
 *   6  the caption: "TITLE=" and the title text, or the application name, " - " and that
 *   7  "BTNTXT=" and the button text, or empty when the button is hidden
 *   8  "ENT1=" and the translation of "albl_Canceling___"  (empty without translation)
 *   9  "ENT2=" and the translation of "albl_Please_wait_"  (empty without translation)
 *  10  "ENT3=" and the translation of "albl_running_dots_15" (empty without translation)
 *  11  "PID=%d": this process's id
 * In words 5 to 10 every blank of a text is replaced by the byte 0xAD; the program turns
 * such a byte back into a blank where it does not belong to a UTF-8 character.
 *
 * The cancel flag protocol on Linux: the flag is an unsigned 32-bit word, 0 at the start,
 * aligned to 4 and kept at the address of word 3 until the dialog is deleted. When the user
 * cancels, the dialog program writes a non-zero word (1) there with process_vm_writev into
 * the process of word 11. Before starting a program the library calls
 * prctl(PR_SET_PTRACER) naming this process, which the kernel's Yama restriction reads as
 * "this process and its descendants may trace it": the permission exists before the child
 * does (no race with an early cancel) and covers every dialog program at once (the kernel
 * keeps one permitted tracer per process, so naming each child in turn would silently
 * withdraw the permission from the earlier ones). PR_SET_PTRACER_ANY is not needed, so other
 * processes of the user stay refused. Without Yama the ordinary rule (same user) applies. A
 * refused write makes the dialog program say so on standard error and exit with status 1.
 * The flag is read with an atomic load; any non-zero value counts, so even a write seen in
 * pieces reads as a cancel.
 *
 * cncl_delete_cancel_dialog_n sends the program SIGTERM (SIGKILL after 2 seconds) and frees
 * the flag only after waitpid has seen the program exit, so it never writes into freed
 * memory.
 */
#pragma once

#include <stdint.h>

#include "dbv/common_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Translation: the translated text for `key`, or null when there is none. The returned
 * text only needs to live until the callback is called again. */
typedef const char* (*cncl_translation_cb_t)(const char* key);

/* Shows the dialog. `message`, `progress_text1` and `progress_text2` may be null; the
 * caption and the button text never are (an empty button text: no button). Non-zero when
 * the dialog is shown. */
typedef int (*cncl_display_cb_t)(const char* caption, const char* message,
                                 const char* progress_text1, const char* progress_text2,
                                 const char* button_text);
/* Removes the dialog; non-zero when it was removed. */
typedef int (*cncl_delete_cb_t)(void);
/* Sets a text of the dialog; `selector` is the caller's, `text` may be null. */
typedef int (*cncl_set_text_cb_t)(int selector, const char* text);
/* Sets the progress position; `selector` is the caller's, `percentage` as given. */
typedef int (*cncl_set_position_cb_t)(int selector, int percentage);
/* Non-zero when the user has pressed Cancel. */
typedef int (*cncl_cancel_pressed_cb_t)(void);

/* ---- Set-up ---- */

/* Keeps up to 255 bytes of `application_name` (cut at a character boundary; null means
 * empty) for the captions. Returns 1. */
COMMON_EXPORT int cncl_initialize_cancel_library(const char* application_name);

/* Registers the translation callback. Returns 1; a null callback returns 0, is reported
 * as the failed assertion "Result" (source cancel_lib) and keeps the previous one. */
COMMON_EXPORT int cnclRegisterTranslationCB(cncl_translation_cb_t translate);

/* Registers the five callbacks of the in-process dialog. Returns 1 when all are non-null
 * and then keeps all five; otherwise keeps none, reports the failed assertion "Result"
 * (source cancel_lib) and returns 0. */
COMMON_EXPORT int cnclRegisterProgressDialogCallbacks(cncl_display_cb_t display,
                                                      cncl_delete_cb_t remove,
                                                      cncl_set_text_cb_t set_text,
                                                      cncl_set_position_cb_t set_position,
                                                      cncl_cancel_pressed_cb_t cancel_pressed);

/* Any non-zero `enable` allows the in-process dialog, 0 forbids it (it starts allowed). */
COMMON_EXPORT void cnclEnableProgressDialog(int enable);

/* Sets the dialog program (at most 1023 bytes), its first (at most 1023 bytes) and second
 * (at most 19 bytes) argument. Returns 1 when all three are non-null and fit; otherwise 0
 * and the earlier data are kept: a cut path or argument could start another program or
 * tell it something else. A first argument with blanks stays one word. */
COMMON_EXPORT int cnclSetProcessCreationData(const char* program, const char* first_argument,
                                             const char* second_argument);

/* ---- In-process dialog ---- */

/* Builds the texts (message key null: "albl_Press_button_to_cancel_current_command_"; title
 * key null: "albl_Cancel_title"; button key null: "albl_Cancel_button", and the button key
 * "cancel_button_hidden" hides the button) and the caption (the application name, then
 * " - " and the title unless the button is hidden; without a name the title; at most 255
 * bytes) and shows the dialog through the display callback. `ignored` is not used.
 * Returns 1 when a dialog is displayed on return: a dialog already displayed is left as it
 * is (display is not called again). Returns 0 when the dialog is disabled, no callbacks
 * are registered or display returned 0. When progress text 1 is present but empty, the
 * message is passed as progress text 1 and the message as null. */
COMMON_EXPORT int cncl_display_cancel_dialog(void* ignored, const char* message_key,
                                             const char* title_key, const char* button_key,
                                             const char* progress_text1_key,
                                             const char* progress_text2_key);

/* Calls the delete callback when a dialog is displayed and marks it not displayed whatever
 * that returned. Returns 1 when the callback reported success, 0 otherwise (also when no
 * dialog was displayed). */
COMMON_EXPORT int cncl_delete_cancel_dialog(void);

/* 1 when the in-process dialog is displayed, else 0. */
COMMON_EXPORT int cncl_cancel_dialog_displayed(void);

/* 0 when no dialog is displayed, otherwise the cancel-pressed callback's result. */
COMMON_EXPORT int cncl_cancel_pressed(void);

/* A percentage above 100 read as unsigned (every negative value too) is logged at level 1
 * as "Invalid progress percentage: %d\n" and reported as a failed assertion, then passed on
 * all the same. The set-position callback is called only when the percentage differs from
 * the previous call's and a dialog is displayed; the percentage is remembered in every
 * case, also across dialogs. Returns the callback's result, or 0 when it was not called. */
COMMON_EXPORT int cncl_set_progress_pos(int selector, int percentage);

/* 0 when no dialog is displayed; otherwise calls set text with `selector` and the
 * translation of `key` (null for a null key or without translation callback, the latter
 * reported as the failed assertion "s_GetTranslationCB") and returns its result. */
COMMON_EXPORT int cncl_set_progress_text(int selector, const char* key);

/* ---- Out-of-process dialog ---- */

/* Starts the dialog program with the words above and `delay_ms` as its delay. Returns the
 * program's process handle (its process id), or -1 when it could not be started; nothing
 * is kept then. */
COMMON_EXPORT intptr_t cncl_display_cancel_dialog_n(int delay_ms, const char* message_key,
                                                    const char* title_key, const char* button_key);

/* The cancel flag of the dialog started as `handle`: non-zero once the user cancelled; 0
 * for an unknown handle or -1. */
COMMON_EXPORT uint32_t cncl_cancel_pressed_n(intptr_t handle);

/* Ends the dialog program started as `handle`, waits until it has exited and forgets the
 * dialog. The wait is short for qm_cancel_dialog, which ends at once on SIGTERM; a program
 * that ignores SIGTERM holds the caller for up to 2 seconds before it is killed.
 * Returns 1 when the program has ended (also when it had ended by itself before); 0 for an
 * unknown handle or -1, and 0 when the program could not be ended, in which case the
 * dialog is kept so that the call can be repeated. */
COMMON_EXPORT int cncl_delete_cancel_dialog_n(intptr_t handle);

#ifdef __cplusplus
}
#endif
