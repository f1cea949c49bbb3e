#!/usr/bin/env python3
"""Draws the viewer's skin: every frame piece, button, menu title, slider and idle picture.

Writes one SVG per picture into skin/ and the resource list skin.qrc beside this script.
The SVGs are committed; run this script again after changing a picture here:

    python3 PC_viewer/res/make_skin.py

Every picture is drawn at the pixel size the windows lay out with; the program renders
the SVG at exactly that size. The few words in the pictures (menu titles, the product
name) are drawn with a small monoline capital alphabet defined below, so the pictures
look the same on every machine whatever fonts it has.

Two colours never appear in a picture: RGB(255, 0, 255) and pure black, because the
skinned controls treat them as transparent keys.
"""

import os
import textwrap

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "skin")

# One palette for the whole skin: graphite body, steel caption band, blue accent.
P = {
    "ink": "#0d1014",
    "g900": "#15181d",
    "g800": "#1b1f25",
    "g700": "#232830",
    "g600": "#2d333c",
    "g500": "#3a414b",
    "g400": "#4b535e",
    "g300": "#66707c",
    "steel_hi": "#b9c2cc",
    "steel_top": "#9aa4b0",
    "steel_bot": "#7c8692",
    "steel_edge": "#4a525c",
    "tab_top": "#8e98a4",
    "tab_bot": "#76808c",
    "tab_line": "#5a646f",
    "text_dark": "#161a1f",
    "glyph": "#d8dee5",
    "glyph_dim": "#8f98a3",
    "white": "#f4f7fa",
    "accent": "#3aa6e6",
    "accent_dk": "#1f74ad",
    "accent_lt": "#8fd0f5",
    "red": "#d9434a",
    "red_dk": "#a32a31",
    "rec": "#e5484d",
}

# ---------------------------------------------------------------------------------------
# Monoline capitals: each glyph is an SVG path in a box 10 units high, with its advance
# width. Strokes are drawn round-capped, so the letters read as one family.
GLYPHS = {
    "A": (7.0, "M0,10 L3.5,0 L7,10 M1.3,6.6 L5.7,6.6"),
    "D": (6.2, "M0,0 V10 H2.6 C7.4,10 7.4,0 2.6,0 Z"),
    "E": (5.6, "M5.6,0 H0 V10 H5.6 M0,5 H4.8"),
    "F": (5.4, "M5.4,0 H0 V10 M0,5 H4.6"),
    "H": (6.2, "M0,0 V10 M6.2,0 V10 M0,5 H6.2"),
    "I": (0.0, "M0,0 V10"),
    "L": (5.2, "M0,0 V10 H5.2"),
    "M": (8.0, "M0,10 V0 L4,7 L8,0 V10"),
    "P": (6.0, "M0,10 V0 H3.2 C6.9,0 6.9,5.6 3.2,5.6 H0"),
    "R": (6.0, "M0,10 V0 H3.2 C6.9,0 6.9,5.6 3.2,5.6 H0 M3.2,5.6 L6,10"),
    "S": (6.0, "M5.8,1.9 C5.2,0.5 4.1,0 3,0 C1.3,0 0.2,1 0.2,2.5 C0.2,6 5.9,4 5.9,7.4 "
               "C5.9,9 4.7,10 3,10 C1.6,10 0.5,9.4 0,8.1"),
    "T": (6.2, "M0,0 H6.2 M3.1,0 V10"),
    "Y": (7.0, "M0,0 L3.5,5.2 L7,0 M3.5,5.2 V10"),
}
LETTER_GAP = 2.6


def text_width(word, scale, gap=LETTER_GAP):
    units = sum(GLYPHS[c][0] for c in word) + gap * (len(word) - 1)
    return units * scale


def text_paths(word, x, y, scale, colour, stroke, gap=LETTER_GAP, opacity=1.0):
    """The word with its top-left at (x, y), cap height 10 * scale."""
    parts = []
    cx = 0.0
    for c in word:
        w, d = GLYPHS[c]
        parts.append(f'<path transform="translate({cx:.3f},0)" d="{d}"/>')
        cx += w + gap
    return (f'<g transform="translate({x:.3f},{y:.3f}) scale({scale:.4f})" fill="none" '
            f'stroke="{colour}" stroke-width="{stroke / scale:.3f}" stroke-linecap="round" '
            f'stroke-linejoin="round" opacity="{opacity}">' + "".join(parts) + "</g>")


# ---------------------------------------------------------------------------------------
def svg(w, h, body, defs=""):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" '
            f'viewBox="0 0 {w} {h}">\n'
            + (f"<defs>{defs}</defs>\n" if defs else "")
            + body + "\n</svg>\n")


def vgrad(gid, stops):
    s = "".join(f'<stop offset="{o}" stop-color="{c}"/>' for o, c in stops)
    return f'<linearGradient id="{gid}" x1="0" y1="0" x2="0" y2="1">{s}</linearGradient>'


def hline(y, x0, x1, colour):
    return f'<rect x="{x0}" y="{y}" width="{x1 - x0}" height="1" fill="{colour}"/>'


def vline(x, y0, y1, colour):
    return f'<rect x="{x}" y="{y0}" width="1" height="{y1 - y0}" fill="{colour}"/>'


PICTURES = {}  # name -> svg text


def picture(name):
    def wrap(fn):
        PICTURES[name] = fn()
        return fn
    return wrap


# ---------------------------------------------------------------------------------------
# Frame. The caption band is 30 pixels: a highlight row, the steel gradient, an edge row
# and a dark row that meets the client area. The borders are 8 pixels of graphite.
CAPTION_DEFS = vgrad("band", [(0, P["steel_top"]), (1, P["steel_bot"])])


def caption_band(x, w):
    return (f'<rect x="{x}" y="1" width="{w}" height="27" fill="url(#band)"/>'
            + hline(0, x, x + w, P["steel_hi"])
            + hline(28, x, x + w, P["steel_edge"])
            + hline(29, x, x + w, P["g900"]))


@picture("frame-top")
def _():
    return svg(1, 30, caption_band(0, 1), CAPTION_DEFS)


@picture("frame-top-left")
def _():
    # The window mask rounds this corner with a radius of 7; the outline follows the arc.
    body = (f'<clipPath id="c"><path d="M0,30 V7 A7,7 0 0 1 7,0 H10 V30 Z"/></clipPath>'
            f'<g clip-path="url(#c)">{caption_band(0, 10)}'
            f'{vline(0, 0, 30, P["g900"])}{vline(1, 0, 28, P["steel_hi"])}</g>'
            f'<path d="M0.5,30 V7 A6.5,6.5 0 0 1 7,0.5 H10" fill="none" '
            f'stroke="{P["g800"]}" stroke-width="1"/>')
    return svg(10, 30, body, CAPTION_DEFS)


@picture("frame-top-right")
def _():
    body = (f'<clipPath id="c"><path d="M10,30 V7 A7,7 0 0 0 3,0 H0 V30 Z"/></clipPath>'
            f'<g clip-path="url(#c)">{caption_band(0, 10)}'
            f'{vline(9, 0, 30, P["g900"])}</g>'
            f'<path d="M9.5,30 V7 A6.5,6.5 0 0 0 3,0.5 H0" fill="none" '
            f'stroke="{P["g800"]}" stroke-width="1"/>')
    return svg(10, 30, body, CAPTION_DEFS)


# Colours of the 8-pixel border from its outer edge inwards: an outline, a highlight, the
# graphite body and a shadow row beside the client area.
RING = [P["ink"], P["g500"], P["g600"], P["g700"], P["g700"], P["g700"], P["g600"], P["g900"]]


def pixels(w, h, colour_at):
    return svg(w, h, "".join(f'<rect x="{x}" y="{y}" width="1" height="1" fill="{colour_at(x, y)}"/>'
                             for y in range(h) for x in range(w)))


PICTURES["frame-left"] = pixels(8, 1, lambda x, y: RING[x])
PICTURES["frame-right"] = pixels(8, 1, lambda x, y: RING[7 - x])
PICTURES["frame-bottom"] = pixels(1, 8, lambda x, y: RING[7 - y])
# In a corner each pixel takes the ring of the nearer outer edge, so the outline, the
# highlight and the shadow turn the corner without a seam.
PICTURES["frame-bottom-left"] = pixels(8, 8, lambda x, y: RING[min(x, 7 - y)])
PICTURES["frame-bottom-right"] = pixels(8, 8, lambda x, y: RING[min(7 - x, 7 - y)])

# ---------------------------------------------------------------------------------------
# Caption buttons, 26 x 18: tabs hanging from the top edge of the window.
TAB = "M0.5,0 V13 A4.5,4.5 0 0 0 5,17.5 H21 A4.5,4.5 0 0 0 25.5,13 V0 Z"

CAPTION_GLYPHS = {
    "minimise": '<path d="M8.5,11.5 H17.5" stroke-width="2"/>',
    "maximise": ('<rect x="8.5" y="4.5" width="9" height="8" stroke-width="1.3"/>'
                 '<path d="M8.5,5.2 H17.5" stroke-width="2"/>'),
    "restore": ('<rect x="7.5" y="7" width="7.5" height="6.5" stroke-width="1.3"/>'
                '<path d="M10.5,7 V4.5 H18 V10.5 H15" stroke-width="1.3"/>'),
    "close": '<path d="M9.5,5 L16.5,12 M16.5,5 L9.5,12" stroke-width="1.9"/>',
}


def caption_button(glyph, state):
    close = glyph == "close"
    if state == "normal":
        top, bot, line, ink = P["tab_top"], P["tab_bot"], P["tab_line"], P["text_dark"]
    elif state == "hover":
        if close:
            top, bot, line, ink = "#e8616a", P["red"], P["red_dk"], P["white"]
        else:
            top, bot, line, ink = "#c3ccd6", "#a3adb9", P["tab_line"], P["ink"]
    else:  # pressed
        if close:
            top, bot, line, ink = P["red_dk"], "#86222a", "#5e1419", P["white"]
        else:
            top, bot, line, ink = P["g500"], P["g700"], P["g900"], P["glyph"]
    defs = vgrad("t", [(0, top), (1, bot)])
    body = (f'<path d="{TAB}" fill="url(#t)" stroke="{line}" stroke-width="1"/>'
            f'<g fill="none" stroke="{ink}" stroke-linecap="round" '
            f'stroke-linejoin="round">{CAPTION_GLYPHS[glyph]}</g>')
    return svg(26, 18, body, defs)


for g in CAPTION_GLYPHS:
    for s in ("normal", "hover", "pressed"):
        PICTURES[f"caption-{g}-{s}"] = caption_button(g, s)

# ---------------------------------------------------------------------------------------
# Menu titles, 24 pixels high, drawn over the caption band.
MENU_TITLES = {"file": ("FILE", 48), "media": ("MEDIA", 48), "display": ("DISPLAY", 68),
               "map": ("MAP", 48), "help": ("HELP", 48)}


def menu_title(word, w, state):
    scale = 0.8
    tw = text_width(word, scale)
    x = (w - tw) / 2
    y = (24 - 10 * scale) / 2
    if state == "normal":
        return svg(w, 24, text_paths(word, x, y, scale, P["text_dark"], 1.45))
    if state == "hover":
        pill = (f'<rect x="1.5" y="2.5" width="{w - 3}" height="19" rx="4" '
                f'fill="#d2d9e1" fill-opacity="0.55" stroke="#e3e8ee" stroke-opacity="0.7"/>')
        return svg(w, 24, pill + text_paths(word, x, y, scale, P["ink"], 1.45))
    pill = (f'<rect x="1.5" y="2.5" width="{w - 3}" height="19" rx="4" fill="{P["g700"]}" '
            f'stroke="{P["g900"]}"/>'
            f'<rect x="6" y="19" width="{w - 12}" height="1.5" rx="0.75" fill="{P["accent"]}"/>')
    return svg(w, 24, pill + text_paths(word, x, y, scale, P["white"], 1.45))


for key, (word, w) in MENU_TITLES.items():
    for s in ("normal", "hover", "pressed"):
        PICTURES[f"menu-{key}-{s}"] = menu_title(word, w, s)


# ---------------------------------------------------------------------------------------
# The product mark: a lens ring with a recording dot.
def mark(cx, cy, r, ring, core, rec, plate):
    return (f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{plate}"/>'
            f'<circle cx="{cx}" cy="{cy}" r="{r * 0.62:.2f}" fill="none" stroke="{ring}" '
            f'stroke-width="{r * 0.2:.2f}"/>'
            f'<circle cx="{cx}" cy="{cy}" r="{r * 0.24:.2f}" fill="{core}"/>'
            f'<circle cx="{cx + r * 0.7:.2f}" cy="{cy - r * 0.7:.2f}" r="{r * 0.17:.2f}" '
            f'fill="{rec}"/>')


@picture("logo")
def _():
    # The caption icon already carries the mark; the logo beside it is the name alone,
    # with the recording light after it.
    scale = 1.1
    width = text_width("PELLISTER", scale)
    x = (100 - width) / 2
    body = (text_paths("PELLISTER", x, (24 - 10 * scale) / 2, scale, P["g900"], 1.9)
            + f'<circle cx="{x + width + 5.5:.2f}" cy="{(24 - 10 * scale) / 2 + 1.6:.2f}" r="1.9" '
              f'fill="{P["rec"]}"/>')
    return svg(108, 24, body)


def app_icon(active):
    ring = P["accent"] if active else "#8a939e"
    core = P["accent_lt"] if active else "#b0b8c1"
    rec = P["rec"] if active else "#8a939e"
    body = (f'<rect x="0.5" y="0.5" width="23" height="23" rx="5" fill="{P["g800"]}" '
            f'stroke="{P["g500"]}"/>'
            f'<circle cx="12" cy="12.5" r="6.6" fill="none" stroke="{ring}" stroke-width="2.2"/>'
            f'<circle cx="12" cy="12.5" r="2.6" fill="{core}"/>'
            f'<circle cx="18.6" cy="5.4" r="1.9" fill="{rec}"/>')
    return svg(24, 24, body)


PICTURES["icon-active"] = app_icon(True)
PICTURES["icon-inactive"] = app_icon(False)
# The program's icon (window, menu entry, hicolor theme): the active caption icon, scalable.
PICTURES["pellister"] = app_icon(True)

# ---------------------------------------------------------------------------------------
# Play control bar, 50 pixels high.


@picture("bar-background")
def _():
    defs = vgrad("b", [(0, "#2a3038"), (1, "#15181c")])
    body = (f'<rect x="0" y="0" width="4" height="50" fill="url(#b)"/>'
            + hline(0, 0, 4, P["g400"]) + hline(49, 0, 4, P["ink"]))
    return svg(4, 50, body, defs)


def round_button(size, glyph, hover):
    c = size / 2
    r = c - 3
    if hover:
        defs = vgrad("f", [(0, "#4b5561"), (1, "#2b3139")])
        base = (f'<circle cx="{c}" cy="{c}" r="{r + 1.8}" fill="none" stroke="{P["accent"]}" '
                f'stroke-opacity="0.35" stroke-width="1.6"/>'
                f'<circle cx="{c}" cy="{c}" r="{r}" fill="url(#f)" stroke="{P["accent"]}" '
                f'stroke-width="1.3"/>')
        ink = P["white"]
    else:
        defs = vgrad("f", [(0, "#3c434d"), (1, "#20252b")])
        base = (f'<circle cx="{c}" cy="{c}" r="{r}" fill="url(#f)" stroke="{P["g400"]}" '
                f'stroke-width="1"/>'
                f'<path d="M{c - r + 3},{c - 2} A{r - 3},{r - 3} 0 0 1 {c + r - 3},{c - 2}" '
                f'fill="none" stroke="#ffffff" stroke-opacity="0.07" stroke-width="1.5"/>')
        ink = P["glyph"]
    return svg(size, size, base + glyph(ink), defs)


def tri(points, ink):
    pts = " ".join(f"{x},{y}" for x, y in points)
    return f'<polygon points="{pts}" fill="{ink}" stroke="{ink}" stroke-width="1" stroke-linejoin="round"/>'


def bar(x, y0, y1, w, ink):
    return f'<rect x="{x}" y="{y0}" width="{w}" height="{y1 - y0}" rx="0.8" fill="{ink}"/>'


TRANSPORT = {
    "to-beginning": lambda k: bar(12, 14, 26, 2.4, k) + tri([(21, 14), (21, 26), (15.2, 20)], k)
                              + tri([(27.5, 14), (27.5, 26), (21.7, 20)], k),
    "reverse-play": lambda k: tri([(24.5, 13), (24.5, 27), (13.5, 20)], k),
    "pause": lambda k: bar(14.5, 13.5, 26.5, 3.6, k) + bar(21.9, 13.5, 26.5, 3.6, k),
    "play": lambda k: tri([(16, 13), (16, 27), (27, 20)], k),
    "to-end": lambda k: tri([(12.5, 14), (12.5, 26), (18.3, 20)], k)
                        + tri([(19, 14), (19, 26), (24.8, 20)], k) + bar(25.6, 14, 26, 2.4, k),
    "save-image": lambda k: (
        f'<path d="M11.5,16.5 H15.5 L17.3,13.5 H22.7 L24.5,16.5 H28.5 V27 H11.5 Z" fill="none" '
        f'stroke="{k}" stroke-width="1.6" stroke-linejoin="round"/>'
        f'<circle cx="20" cy="21.6" r="3.4" fill="none" stroke="{k}" stroke-width="1.6"/>'
        f'<circle cx="25.6" cy="19" r="0.9" fill="{k}"/>'),
}
for name, glyph in TRANSPORT.items():
    PICTURES[f"btn-{name}"] = round_button(40, glyph, False)
    PICTURES[f"btn-{name}-hover"] = round_button(40, glyph, True)

STEP = {
    "frame-backward": lambda k: tri([(18.5, 10.5), (18.5, 21.5), (11, 16)], k) + bar(20, 10.5, 21.5, 2.2, k),
    "frame-forward": lambda k: bar(9.8, 10.5, 21.5, 2.2, k) + tri([(13.5, 10.5), (13.5, 21.5), (21, 16)], k),
}
for name, glyph in STEP.items():
    PICTURES[f"btn-{name}"] = round_button(32, glyph, False)
    PICTURES[f"btn-{name}-hover"] = round_button(32, glyph, True)


def grid_button(n, hover):
    fill = P["g500"] if hover else P["g600"]
    line = P["accent"] if hover else P["g400"]
    ink = P["accent_lt"] if hover else P["glyph"]
    inner, gap = 12.0, 1.2 if n > 2 else 1.6
    cell = (inner - gap * (n - 1)) / n
    cells = []
    for r in range(n):
        for c in range(n):
            x = 5 + c * (cell + gap)
            y = 5 + r * (cell + gap)
            cells.append(f'<rect x="{x:.2f}" y="{y:.2f}" width="{cell:.2f}" height="{cell:.2f}" '
                         f'rx="{0.6 if n > 2 else 1}" fill="{ink}"/>')
    body = (f'<rect x="0.5" y="0.5" width="21" height="21" rx="4" fill="{fill}" stroke="{line}"/>'
            + "".join(cells))
    return svg(22, 22, body)


for name, n in (("single", 1), ("quad", 2), ("nonuple", 3), ("sixteen", 4)):
    PICTURES[f"btn-{name}"] = grid_button(n, False)
    PICTURES[f"btn-{name}-hover"] = grid_button(n, True)


def speaker(on):
    cone = (f'<path d="M0.8,5.2 H3.4 L7.4,1.8 V13.2 L3.4,9.8 H0.8 Z" fill="{P["glyph"]}" '
            f'stroke="{P["glyph"]}" stroke-width="0.8" stroke-linejoin="round"/>')
    if on:
        extra = (f'<path d="M9.3,5.4 A2.6,2.6 0 0 1 9.3,9.6" fill="none" stroke="{P["accent_lt"]}" '
                 f'stroke-width="1.3" stroke-linecap="round"/>'
                 f'<path d="M11.1,3.4 A5.2,5.2 0 0 1 11.1,11.6" fill="none" stroke="{P["accent_lt"]}" '
                 f'stroke-width="1.3" stroke-linecap="round"/>')
    else:
        extra = (f'<path d="M9.4,5.6 L13,9.4 M13,5.6 L9.4,9.4" stroke="{P["rec"]}" '
                 f'stroke-width="1.5" stroke-linecap="round"/>')
    return svg(14, 15, cone + extra)


PICTURES["btn-speaker-on"] = speaker(True)
PICTURES["btn-speaker-off"] = speaker(False)


def channel(active):
    if active:
        defs = vgrad("a", [(0, "#63c1f3"), (1, P["accent_dk"])])
        groove = (f'<rect x="4.5" y="0.5" width="5" height="34" rx="2.5" fill="url(#a)" '
                  f'stroke="{P["accent_dk"]}"/>')
    else:
        defs = ""
        groove = (f'<rect x="4.5" y="0.5" width="5" height="34" rx="2.5" fill="{P["g900"]}" '
                  f'stroke="{P["g400"]}"/>')
    return svg(14, 35, groove, defs)


PICTURES["slider-channel"] = channel(False)
PICTURES["slider-channel-active"] = channel(True)


@picture("combo-arrow")
def _():
    return svg(9, 6, f'<path d="M1,1 L4.5,4.6 L8,1" fill="none" stroke="{P["glyph"]}" '
                     f'stroke-width="1.5" stroke-linecap="round" stroke-linejoin="round"/>')


# ---------------------------------------------------------------------------------------
# Idle pictures of the video pane: a tall band stretched across the pane, the product
# name at the top left and a quiet camera emblem in the middle.


@picture("idle-band")
def _():
    defs = vgrad("g", [(0, "#20252c"), (0.45, "#15181c"), (1, "#101216")])
    return svg(4, 1200, '<rect x="0" y="0" width="4" height="1200" fill="url(#g)"/>', defs)


@picture("idle-corner")
def _():
    body = (mark(30, 28, 13, P["accent"], P["accent_lt"], P["rec"], P["g700"])
            + text_paths("PELLISTER", 54, 21, 1.4, "#c5ccd4", 2.0))
    return svg(240, 56, body)


@picture("idle-emblem")
def _():
    defs = vgrad("body", [(0, "#262b32"), (1, "#1a1d22")])
    body = (f'<rect x="96" y="14" width="28" height="14" rx="3" fill="#22272e"/>'
            f'<rect x="38" y="26" width="144" height="96" rx="18" fill="url(#body)" '
            f'stroke="#323943" stroke-width="2"/>'
            f'<circle cx="110" cy="74" r="36" fill="#121418" stroke="#39414b" stroke-width="4"/>'
            f'<circle cx="110" cy="74" r="22" fill="none" stroke="#262c34" stroke-width="7"/>'
            f'<circle cx="110" cy="74" r="9" fill="#1f4f70"/>'
            f'<circle cx="101" cy="64" r="4.5" fill="#6b7682" fill-opacity="0.55"/>'
            f'<circle cx="160" cy="44" r="5" fill="{P["rec"]}" fill-opacity="0.85"/>'
            f'<path d="M70,140 H150" stroke="#262b32" stroke-width="3" stroke-linecap="round"/>')
    return svg(220, 150, body, defs)


@picture("thumbnail-default")
def _():
    holes = "".join(f'<rect x="{x}" y="{y}" width="2.6" height="2" rx="0.5" fill="{P["g400"]}"/>'
                    for x in (4, 9.5, 15, 20.5, 26) for y in (3.5, 26.5))
    body = (f'<rect x="0.5" y="0.5" width="31" height="31" rx="3" fill="{P["g800"]}" '
            f'stroke="{P["g500"]}"/>' + holes +
            f'<rect x="3" y="7.5" width="26" height="17" rx="1.5" fill="{P["g600"]}"/>'
            f'<polygon points="13.5,11 13.5,21 21.5,16" fill="{P["glyph_dim"]}"/>')
    return svg(32, 32, body)


# ---------------------------------------------------------------------------------------
def main():
    os.makedirs(OUT, exist_ok=True)
    for name in os.listdir(OUT):
        if name.endswith(".svg") and name[:-4] not in PICTURES:
            os.remove(os.path.join(OUT, name))
    for name, text in sorted(PICTURES.items()):
        assert "#ff00ff" not in text.lower() and "#000000" not in text, name
        with open(os.path.join(OUT, name + ".svg"), "w", encoding="utf-8") as f:
            f.write(text)
    files = "\n".join(f"    <file>skin/{n}.svg</file>" for n in sorted(PICTURES))
    qrc = textwrap.dedent("""\
        <!-- Written by make_skin.py: the skin pictures, reached as :/skin/<name>.svg -->
        <RCC>
          <qresource prefix="/">
        {files}
          </qresource>
        </RCC>
        """).format(files=files)
    with open(os.path.join(HERE, "skin.qrc"), "w", encoding="utf-8") as f:
        f.write(qrc)
    print(f"{len(PICTURES)} pictures written to {OUT}")


if __name__ == "__main__":
    main()
