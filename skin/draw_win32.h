// Drawing primitives and the message plumbing shared by the skinned window
// procedures: off-screen surfaces kept in the window table, lines, paths,
// multi-stop gradient bands, glyph arrows, the border frame and text.
#pragma once

#include "platform/win32.h"

#include <cstdint>

#include "skin/palette.h"

inline COLORREF cref(SkinColor c) { return COLORREF(c); }

// --- primitives ---
void draw_fill(HDC dc, const RECT &r, SkinColor color);
// A straight 1-pixel line from (x0, y0) up to but excluding (x1, y1).
void draw_line(HDC dc, int x0, int y0, int x1, int y1, SkinColor color);
// A 1-pixel rectangle outline just inside `r`.
void draw_rect_outline(HDC dc, const RECT &r, SkinColor color);
// A closed path stroked with `pen`, filled with `brush` when `fill`.
void draw_path(HDC dc, const POINT *points, int count, SkinColor pen, SkinColor brush, bool fill);
// The band's stops spread evenly over `r`, top to bottom, or left to right
// when `across`.
void draw_band(HDC dc, const RECT &r, const SkinBand &band, bool across = false);
// The band clipped to the polygon, then the polygon's outline.
void draw_band_polygon(HDC dc, const POINT *points, int count, const RECT &bounds, const SkinBand &band,
                       SkinColor outline, bool across = false);
// A raised face with rounded corners: band inside, 1-pixel outline, and
// a light sheen line under the top edge when `sheen` is not 0.
void draw_face(HDC dc, const RECT &r, const SkinBand &band, SkinColor outline, int radius, SkinColor sheen);
// An open polyline of the given pen width.
void draw_polyline(HDC dc, const POINT *points, int count, SkinColor color, int width);
// The band clipped to the ellipse in `r`, then the ellipse's outline.
void draw_band_ellipse(HDC dc, const RECT &r, const SkinBand &band, SkinColor outline);
// A rounded rectangle outline.
void draw_round_outline(HDC dc, const RECT &r, int radius, SkinColor color);
enum SkinArrow { ARROW_UP, ARROW_DOWN, ARROW_LEFT, ARROW_RIGHT };
// A filled triangle glyph of `size` pixels (half the base) centred in
// `area`, drawn into a keyed bitmap and put down with TransparentBlt.
void draw_arrow(HDC dc, const RECT &area, SkinArrow direction, int size, SkinColor color);
// Draws text in the control's font (its own, else the parent's, else the
// GUI font); `r` is updated when flags carry DT_CALCRECT.
void draw_text(HDC dc, HWND control, const char *text, RECT &r, UINT flags, SkinColor color);
HFONT skin_font_of(HWND control);

// --- the frame primitive ---
// Border thickness the styles give a window (WS_BORDER, client edge,
// static edge, modal frame).
int border_thickness(LONG_PTR style, LONG_PTR exstyle);
// Rings of `thickness` pixels inside `r`: outer ring `outer`, the rest
// `inner`.
void draw_frame(HDC dc, const RECT &r, int thickness, SkinColor outer, SkinColor inner);

// --- message plumbing ---
const SkinLook *look_of(void);
// The 4-byte state of the window's per-window data, or a scratch word when
// it has none.
uint32_t &state_of(HWND window);
#define SKIN_HOVER 0x80000000u
LRESULT call_previous(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// InvalidateRect (whole control, no erase) and UpdateWindow.
void repaint(HWND window);
// Asks for WM_MOUSELEAVE.
void track_leave(HWND window);
// Sets the hover bit and repaints when it was clear; asks for
// WM_MOUSELEAVE on every move.
void hover_move(HWND window);
void hover_leave(HWND window);
// Passes the message on, then repaints: for state changes the standard
// control would draw by itself.
LRESULT pass_then_repaint(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// True when the cursor is over the window's client area right now.
bool cursor_in(HWND window, POINT *client_point = nullptr);

// Paints the whole client area of `window`, given its client rectangle.
typedef void (*SkinPainter)(HWND window, HDC dc, const RECT &client, const SkinLook &look);
// Set by controls whose inside must not cover their siblings (a group box
// frames other controls): the part of the client area left out of the
// final BitBlt. False when the whole client area is put down.
bool skin_paint_exclusion(HWND window, RECT *inside);
// Paints into the window's off-screen surface and puts it on `target` with
// one BitBlt (client origin at 0,0 of target).
void paint_to(HWND window, HDC target, SkinPainter painter);
// WM_PAINT (wParam may carry a DC) and WM_PRINTCLIENT.
LRESULT paint_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, SkinPainter painter);
// WM_NCPAINT: the previous procedure draws the non-client area (scroll
// bars), then the border is drawn over in the palette.
LRESULT ncpaint_message(HWND window, WPARAM wparam, LPARAM lparam);
// WM_PRINT: border, skinned client and, when asked, the children.
LRESULT print_message(HWND window, WPARAM wparam, LPARAM lparam, SkinPainter painter);
// Draws the window's border into a DC whose origin is the window's corner.
void draw_window_border(HWND window, HDC dc);
// The border and the scroll bars.
void draw_window_frame(HWND window, HDC dc);
// Repaints the client area and the frame (scroll bars) at once.
void repaint_with_frame(HWND window);
// Copies the parent's background behind `window` into dc (client
// coordinates of `window`).
void parent_background(HWND window, HDC dc, const RECT &client);
// Fills with the dialog band of the parent's dialog as it lies behind the
// window, so controls sit seamlessly on a skinned dialog.
void dialog_band_behind(HWND window, HDC dc, const RECT &client, const SkinLook &look);
// The band a dialog uses: 10 with extended style 0x2000, else 40.
int dialog_band_of(HWND dialog);
