#pragma once
/* The tree builder's entry points (libbsp.so, C linkage).
 *
 * int32_t generate_bsp_tree(const char* script_path)
 *   Reads the record files vert.kvt, vtnm.kvt, fvrt.kvt, face.kvt and radi.kvt from the
 *   program's home folder ($TESSAVOR_HOME, else $XDG_DATA_HOME/tessavor, else
 *   ~/.local/share/tessavor), builds a BSP tree over the faces and writes, at
 *   script_path, a compiler script whose IFF statement names the output file: the
 *   script's file name without its ".txt" ending (with ".iff" appended instead when the
 *   name does not end in ".txt"), in the script's folder.
 *   The script is written crash-safely; on any failure nothing is written, and the reason
 *   (which file, which record) is printed on standard error.
 *   Result: 0 success, or one of
 *     1  a record file is missing or unreadable
 *     2  the mesh is empty (no face or no vertex)
 *     3  the script cannot be written (no path, missing folder, write error)
 *     4  the mesh is inconsistent (a face's corners or a corner's vertex do not exist)
 *     5  too large: an input file, or the tree's mesh after cutting faces, needs more than
 *        32,769 records in an array
 *     6  the output file's name cannot be written in a script statement (it contains a
 *        control character, a double quote, comma, parenthesis, backslash, "//" or
 *        leading, trailing or doubled blanks)
 *     7  internal error (out of memory)
 *
 * const char* generate_bsp_tree_error_text(int32_t code)
 *   A short English description of a result code (never null).
 *
 * const char* generate_bsp_tree_last_message(void)
 *   The detailed message of the calling thread's last failed generate_bsp_tree call
 *   (which file, which record), or "" after a success. Valid until the next call.
 */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
/* bsp.dll's exports are listed with their ordinals in bsp.def. */
#define TESSAVOR_BSP_API
#else
#define TESSAVOR_BSP_API __attribute__((visibility("default")))
#endif

TESSAVOR_BSP_API int32_t generate_bsp_tree(const char* script_path);
TESSAVOR_BSP_API const char* generate_bsp_tree_error_text(int32_t code);
TESSAVOR_BSP_API const char* generate_bsp_tree_last_message(void);

typedef int32_t (*TGenerateBspTreeFn)(const char* script_path);
typedef const char* (*TBspErrorTextFn)(int32_t code);
typedef const char* (*TBspLastMessageFn)(void);

#ifdef __cplusplus
}
#endif
