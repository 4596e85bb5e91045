#!/usr/bin/env python3
"""Writes the installer's artwork as SVG files from a brand file.

The brand file (default: brand.ini beside this script, today's design) holds
the texts and the palette drawn into the pictures. The build runs this script
with the configured brand (-DBRAND_FILE=...) and renders the SVGs to PNG with
rsvg-convert and render.sh. Button strips are four frames side by side:
normal, hover, pressed, disabled. Anything left transparent in a strip, the
main-page picture or a slide becomes magenta (255,0,255) when rendered.
"""
import argparse
import configparser
import math
import os
import re
import sys

FONT = "WenQuanYi Zen Hei"
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = "."

# Texts and palette; apply_brand() sets them from the brand file.
TITLE = PRODUCT_NAME = TAGLINE = ""
RED_DARK = RED = RED_MID = GOLD = GOLD_LIGHT = GOLD_DARK = CREAM = GREEN_FELT = ""
# Shades drawn from the palette (apply_brand()): the title bar, the glow, the
# table, the progress track and the buttons follow the brand's colours.
GLOW = BAR_TOP = BAR_BOTTOM = FELT_LIGHT = FELT_DARK = TRACK = TRACK_INNER = FILL_BOTTOM = ""
DEEP = LINK_FILL = LINK_HOVER = STATUS_TEXT = SLIDE_RED = ""
PICTURES = ""
TEXT_KEYS = ("title", "product_name", "tagline")
COLOUR_KEYS = ("red", "red_dark", "red_mid", "gold", "gold_light", "gold_dark", "cream", "felt")


class BrandError(Exception):
    pass


# Picture ids by name (IDB_NAME without "IDB_"), from res/resource_ids.h.
PICTURE_IDS = {}
WRITTEN = set()


def read_picture_ids(path):
    """The "#define IDB_NAME number" lines of the resource id header."""
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError as e:
        raise BrandError(f"{path}: {e}")
    ids = {}
    for line in lines:
        m = re.fullmatch(r"#define IDB_([A-Z0-9_]+) ([0-9]+)", line)
        if m:
            ids[m.group(1)] = int(m.group(2))
    if not ids:
        raise BrandError(f"{path}: no picture ids")
    return ids


def picture_svg(name):
    """The SVG file of picture IDB_<name>; the build renders png<id>.png from it."""
    base = re.sub(r"_[0-9]+$", "", name).lower()
    return f"png{PICTURE_IDS[name]}_{base}.svg"


def read_brand(path):
    """Reads [brand] from a UTF-8 INI file; every key is required."""
    parser = configparser.ConfigParser(interpolation=None, comment_prefixes=("#", ";"),
                                       inline_comment_prefixes=None)
    try:
        with open(path, encoding="utf-8") as f:
            parser.read_file(f)
    except (OSError, UnicodeDecodeError, configparser.Error) as e:
        raise BrandError(f"{path}: {e}")
    if not parser.has_section("brand"):
        raise BrandError(f"{path}: no [brand] section")
    brand = {}
    for key in TEXT_KEYS + COLOUR_KEYS:
        value = parser.get("brand", key, fallback="").strip()
        if not value:
            raise BrandError(f"{path}: [brand] {key} is missing or empty")
        if key in COLOUR_KEYS and not re.fullmatch(r"#[0-9a-fA-F]{6}", value):
            raise BrandError(f"{path}: [brand] {key} = {value!r} is not a #rrggbb colour")
        if key in TEXT_KEYS and re.search(r"[<>&]", value):
            raise BrandError(f"{path}: [brand] {key} must not contain <, > or &")
        brand[key] = value
    # Optional: a folder of the publisher's own pictures (pngNNN.png, any PNG
    # colour type), relative to the brand file; those found there replace
    # the drawn ones (render.sh).
    pictures = parser.get("brand", "pictures", fallback="").strip()
    if pictures:
        pictures = os.path.join(os.path.dirname(os.path.abspath(path)), pictures)
        if not os.path.isdir(pictures):
            raise BrandError(f"{path}: [brand] pictures = {pictures!r} is not a folder")
    brand["pictures"] = pictures
    return brand


def shade(colour, dr, dg, db):
    """`colour` (#rrggbb) moved by the given steps per channel, within 0..255.

    The steps are those between today's palette and the shades it has always
    been drawn with, so the default brand draws exactly today's pictures."""
    rgb = [int(colour[i:i + 2], 16) for i in (1, 3, 5)]
    return "#" + "".join(f"{min(255, max(0, c + d)):02x}" for c, d in zip(rgb, (dr, dg, db)))


def rgb_of(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def apply_brand(brand):
    global TITLE, PRODUCT_NAME, TAGLINE, RED, RED_DARK, RED_MID, GOLD, GOLD_LIGHT, GOLD_DARK
    global CREAM, GREEN_FELT, GOLD_GRAD, FRAMES, PICTURES
    global GLOW, BAR_TOP, BAR_BOTTOM, FELT_LIGHT, FELT_DARK, TRACK, TRACK_INNER, FILL_BOTTOM
    global DEEP, LINK_FILL, LINK_HOVER, STATUS_TEXT, SLIDE_RED
    PICTURES = brand.get("pictures", "")
    TITLE, PRODUCT_NAME, TAGLINE = brand["title"], brand["product_name"], brand["tagline"]
    RED, RED_DARK, RED_MID = brand["red"], brand["red_dark"], brand["red_mid"]
    GOLD, GOLD_LIGHT, GOLD_DARK = brand["gold"], brand["gold_light"], brand["gold_dark"]
    CREAM, GREEN_FELT = brand["cream"], brand["felt"]
    GLOW = shade(RED, 52, 18, 19)
    SLIDE_RED = shade(RED, -15, -2, -2)
    BAR_TOP = LINK_HOVER = shade(RED_DARK, 18, 1, 2)
    BAR_BOTTOM = LINK_FILL = shade(RED_DARK, -16, -4, -4)
    DEEP = shade(RED_DARK, -32, -6, -7)
    TRACK, TRACK_INNER = shade(RED_DARK, -31, -6, -6), shade(RED_DARK, -12, -3, -2)
    FELT_LIGHT, FELT_DARK = shade(GREEN_FELT, 11, 32, 22), shade(GREEN_FELT, -5, -29, -19)
    FILL_BOTTOM = shade(GOLD_DARK, 25, 16, -4)
    STATUS_TEXT = shade(GOLD_LIGHT, -1, 23, 29)
    GOLD_GRAD = (f'<linearGradient id="goldGrad" x1="0" y1="0" x2="0" y2="1">'
                 f'<stop offset="0" stop-color="{GOLD_LIGHT}"/><stop offset="0.5" stop-color="{GOLD}"/>'
                 f'<stop offset="1" stop-color="{GOLD_DARK}"/></linearGradient>')
    # Frame looks of the button strips: (fill top, fill bottom, text colour, border, dy)
    FRAMES = [
        (shade(RED, 72, 29, 23), RED, GOLD_LIGHT, GOLD, 0),                            # normal
        (shade(RED, 100, 62, 50), shade(RED, 28, 8, 8), "#ffffff", GOLD_LIGHT, 0),     # hover
        (shade(RED_MID, 16, 1, 2), shade(RED, 23, 6, 6), GOLD, GOLD_DARK, 1),          # pressed
        ("#8a7a78", "#5e5250", "#c8c0b8", "#9a9088", 0),  # disabled
    ]


def svg(w, h, body, defs=""):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" '
            f'viewBox="0 0 {w} {h}">\n<defs>{defs}</defs>\n{body}\n</svg>\n')


def write(name, text):
    with open(os.path.join(OUT, name), "w", encoding="utf-8") as f:
        f.write(text)
    WRITTEN.add(name)


def text(x, y, s, size, fill, anchor="middle", weight="normal", extra=""):
    return (f'<text x="{x}" y="{y}" font-family="{FONT}" font-size="{size}" '
            f'font-weight="{weight}" fill="{fill}" text-anchor="{anchor}" {extra}>{s}</text>')


def card(x, y, w, h, rank, suit, colour, rot=0):
    """A playing card with rank and suit symbols."""
    cx, cy = x + w / 2, y + h / 2
    return (f'<g transform="rotate({rot} {cx} {cy})">'
            f'<rect x="{x+2}" y="{y+3}" width="{w}" height="{h}" rx="6" fill="#000" opacity="0.35"/>'
            f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="6" fill="#fffaf0" stroke="#c9b58a" stroke-width="1.5"/>'
            + text(x + 11, y + 20, rank, 16, colour, weight="bold")
            + text(x + 11, y + 36, suit, 14, colour)
            + text(cx, cy + 16, suit, 44, colour)
            + '</g>')


def mahjong(x, y, w, h, face, colour, rot=0):
    """A mahjong tile: ivory face on a green back."""
    cx, cy = x + w / 2, y + h / 2
    return (f'<g transform="rotate({rot} {cx} {cy})">'
            f'<rect x="{x+3}" y="{y+4}" width="{w}" height="{h}" rx="7" fill="#000" opacity="0.35"/>'
            f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="7" fill="{GREEN_FELT}"/>'
            f'<rect x="{x}" y="{y}" width="{w}" height="{h-6}" rx="7" fill="#fbf6e6" stroke="#d8ceb0" stroke-width="1"/>'
            + text(cx, cy + 10, face, h * 0.48, colour, weight="bold")
            + '</g>')


def coin(cx, cy, r):
    return (f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="url(#goldGrad)" stroke="{GOLD_DARK}" stroke-width="2"/>'
            f'<rect x="{cx-r*0.28}" y="{cy-r*0.28}" width="{r*0.56}" height="{r*0.56}" fill="{RED_DARK}" '
            f'stroke="{GOLD_DARK}" stroke-width="1.5"/>')


def cloud_band(y, w, opacity=0.10):
    """A row of auspicious-cloud swirls as a faint pattern."""
    parts = []
    for i in range(-1, w // 60 + 2):
        cx = i * 60 + (30 if (y // 40) % 2 else 0)
        parts.append(f'<path d="M{cx-18},{y} a9,9 0 1,1 18,0 a9,9 0 1,1 18,0" fill="none" '
                     f'stroke="{GOLD}" stroke-width="1.6" opacity="{opacity}"/>')
    return "".join(parts)



def background():
    w, h = 530, 399
    defs = (GOLD_GRAD +
            f'<linearGradient id="bg" x1="0" y1="0" x2="0" y2="1">'
            f'<stop offset="0" stop-color="{RED}"/><stop offset="0.65" stop-color="{RED_MID}"/>'
            f'<stop offset="1" stop-color="{RED_DARK}"/></linearGradient>'
            f'<linearGradient id="bar" x1="0" y1="0" x2="0" y2="1">'
            f'<stop offset="0" stop-color="{BAR_TOP}"/><stop offset="1" stop-color="{BAR_BOTTOM}"/></linearGradient>'
            f'<radialGradient id="glow" cx="0.5" cy="0.35" r="0.6">'
            f'<stop offset="0" stop-color="{GLOW}" stop-opacity="0.9"/>'
            f'<stop offset="1" stop-color="{GLOW}" stop-opacity="0"/></radialGradient>')
    body = [f'<rect width="{w}" height="{h}" fill="url(#bg)"/>',
            f'<rect width="{w}" height="{h}" fill="url(#glow)"/>']
    for y in range(50, h, 40):
        body.append(cloud_band(y, w))
    # Title bar.
    body.append(f'<rect width="{w}" height="30" fill="url(#bar)"/>')
    body.append(f'<rect y="29" width="{w}" height="1.5" fill="{GOLD}" opacity="0.8"/>')
    body.append(coin(17, 15, 9))
    body.append(text(34, 21, TITLE, 13, CREAM, anchor="start"))
    # Custom-page panel (covered by the pictures on the other pages).
    body.append(f'<rect x="20" y="70" width="490" height="130" rx="10" fill="#000" opacity="0.22" '
                f'stroke="{GOLD}" stroke-opacity="0.55" stroke-width="1.2"/>')
    body.append(f'<rect x="138" y="117" width="272" height="26" rx="3" fill="#fff" stroke="{GOLD}" stroke-width="1.5"/>')
    # Bottom band.
    body.append(f'<rect y="282" width="{w}" height="1" fill="{GOLD}" opacity="0.35"/>')
    body.append(f'<rect x="0" y="{h-3}" width="{w}" height="3" fill="{GOLD}" opacity="0.7"/>')
    body.append(f'<rect x="0.5" y="0.5" width="{w-1}" height="{h-1}" fill="none" stroke="{GOLD_DARK}" stroke-width="1"/>')
    write(picture_svg("BACKGROUND"), svg(w, h, "\n".join(body), defs))


def main_picture():
    w, h = 530, 256
    defs = (GOLD_GRAD +
            f'<radialGradient id="felt" cx="0.5" cy="0.55" r="0.7">'
            f'<stop offset="0" stop-color="{FELT_LIGHT}"/><stop offset="1" stop-color="{FELT_DARK}"/></radialGradient>')
    body = []
    # The top strip stays transparent so the title bar of the background shows.
    body.append(f'<rect x="14" y="40" width="502" height="206" rx="16" fill="url(#felt)" '
                f'stroke="url(#goldGrad)" stroke-width="4"/>')
    body.append(f'<rect x="24" y="50" width="482" height="186" rx="11" fill="none" stroke="{GOLD}" '
                f'stroke-opacity="0.4" stroke-width="1" stroke-dasharray="6 4"/>')
    body.append(text(265, 102, PRODUCT_NAME, 30, GOLD_LIGHT, weight="bold",
                     extra=f'stroke="{RED_DARK}" stroke-width="1"'))
    body.append(text(265, 128, TAGLINE, 14, CREAM))
    body.append(card(60, 140, 58, 82, "A", "♠", "#1a1a1a", -12))
    body.append(card(100, 135, 58, 82, "K", "♥", "#c0161c", 4))
    body.append(card(140, 142, 58, 82, "Q", "♦", "#c0161c", 16))
    body.append(mahjong(330, 148, 44, 60, "中", "#c0161c", -6))
    body.append(mahjong(378, 144, 44, 60, "發", "#0f7a3a", 2))
    body.append(mahjong(426, 148, 44, 60, "白", "#2a4fa0", 8))
    body.append(coin(240, 205, 16))
    body.append(coin(280, 214, 12))
    body.append(coin(262, 184, 10))
    write(picture_svg("MAIN"), svg(w, h, "\n".join(body), defs))


SLIDES = [
    ("斗地主", "春天反春，炸弹翻倍", "cards"),
    ("四川麻将", "血战到底，好友同桌", "mahjong"),
    ("中国象棋", "楚河汉界，运筹帷幄", "chess"),
    ("每日签到", "金币好礼，天天领取", "coins"),
    ("好友约局", "私人房间，随时开桌", "table"),
]


def slide(i, title, sub, motif):
    w, h = 530, 256
    hues = [SLIDE_RED, GREEN_FELT, "#5a2a0c", "#6b0f3a", "#123d6b"]
    defs = (GOLD_GRAD +
            f'<linearGradient id="sky" x1="0" y1="0" x2="1" y2="1">'
            f'<stop offset="0" stop-color="{hues[i]}"/><stop offset="1" stop-color="{RED_DARK}"/></linearGradient>')
    body = [f'<rect x="0" y="31" width="{w}" height="{h-31}" fill="url(#sky)"/>']
    for y in range(60, h, 40):
        body.append(cloud_band(y, w, 0.12))
    body.append(f'<rect x="0" y="{h-2}" width="{w}" height="2" fill="{GOLD}" opacity="0.6"/>')
    body.append(text(40, 110, title, 34, GOLD_LIGHT, anchor="start", weight="bold",
                     extra=f'stroke="{RED_DARK}" stroke-width="1"'))
    body.append(text(42, 142, sub, 15, CREAM, anchor="start"))
    body.append(text(42, 220, f"{i+1} / 5", 12, CREAM, anchor="start", extra='opacity="0.7"'))
    if motif == "cards":
        body += [card(300, 70, 62, 88, "3", "♣", "#1a1a1a", -14), card(345, 64, 62, 88, "3", "♠", "#1a1a1a", -2),
                 card(390, 70, 62, 88, "3", "♥", "#c0161c", 10), card(430, 82, 62, 88, "3", "♦", "#c0161c", 22)]
    elif motif == "mahjong":
        faces = [("一", "#c0161c"), ("九", "#c0161c"), ("中", "#c0161c"), ("發", "#0f7a3a")]
        body += [mahjong(290 + k * 52, 90 + (k % 2) * 10, 46, 64, f, c, -4 + 3 * k) for k, (f, c) in enumerate(faces)]
    elif motif == "chess":
        for k, (ch, col) in enumerate([("帥", "#c0161c"), ("將", "#1a1a1a"), ("車", "#c0161c"), ("馬", "#1a1a1a")]):
            cx, cy = 320 + (k % 2) * 90, 95 + (k // 2) * 80
            body.append(f'<circle cx="{cx+3}" cy="{cy+4}" r="34" fill="#000" opacity="0.35"/>'
                        f'<circle cx="{cx}" cy="{cy}" r="34" fill="#f3d9a4" stroke="#8a5a1a" stroke-width="3"/>'
                        f'<circle cx="{cx}" cy="{cy}" r="27" fill="none" stroke="{col}" stroke-width="1.5"/>'
                        + text(cx, cy + 11, ch, 30, col, weight="bold"))
    elif motif == "coins":
        for k in range(9):
            body.append(coin(320 + (k % 3) * 50 + (k // 3) * 12, 90 + (k // 3) * 45, 20))
    else:
        body.append(f'<ellipse cx="395" cy="140" rx="110" ry="62" fill="{FELT_DARK}" stroke="url(#goldGrad)" stroke-width="5"/>')
        body += [card(340, 105, 44, 62, "J", "♥", "#c0161c", -8), card(405, 102, 44, 62, "10", "♠", "#1a1a1a", 8)]
        for a in range(4):
            x = 395 + 140 * math.cos(a * math.pi / 2)
            y = 140 + 80 * math.sin(a * math.pi / 2)
            if 0 < y < h - 10:
                body.append(f'<circle cx="{x}" cy="{y}" r="14" fill="{GOLD}" stroke="{RED_DARK}" stroke-width="2"/>')
    write(picture_svg(f"SLIDE_{i + 1}"), svg(w, h, "\n".join(body), defs))


def progress():
    body = (f'<rect x="0" y="0" width="498" height="25" rx="5" fill="{TRACK}"/>'
            f'<rect x="1.5" y="1.5" width="495" height="22" rx="4" fill="{TRACK_INNER}" stroke="{GOLD_DARK}" stroke-width="1.5"/>')
    write(picture_svg("BAR_TRACK"), svg(498, 25, body))
    defs = (f'<linearGradient id="fill" x1="0" y1="0" x2="0" y2="1">'
            f'<stop offset="0" stop-color="{GOLD_LIGHT}"/><stop offset="0.45" stop-color="{GOLD}"/>'
            f'<stop offset="1" stop-color="{FILL_BOTTOM}"/></linearGradient>'
            f'<pattern id="stripe" width="14" height="17" patternUnits="userSpaceOnUse" patternTransform="skewX(-30)">'
            f'<rect width="7" height="17" fill="#fff" opacity="0.18"/></pattern>')
    body = (f'<rect width="492" height="17" fill="url(#fill)"/>'
            f'<rect width="492" height="17" fill="url(#stripe)"/>'
            f'<rect y="0" width="492" height="2" fill="#fff" opacity="0.35"/>')
    write(picture_svg("BAR_FILL"), svg(492, 17, body, defs))


def strip(name, fw, h, draw_frame):
    """Four frames of width fw side by side; draw_frame(k, x0) returns SVG."""
    defs = ""
    body = []
    for k in range(4):
        top, bottom, _, _, _ = FRAMES[k]
        defs += (f'<linearGradient id="f{k}" x1="0" y1="0" x2="0" y2="1">'
                 f'<stop offset="0" stop-color="{top}"/><stop offset="1" stop-color="{bottom}"/></linearGradient>')
        body.append(draw_frame(k, k * fw))
    write(name, svg(fw * 4, h, "\n".join(body), defs))


def pill_button(label, size):
    def draw(k, x0, fw, h):
        _, _, tc, border, dy = FRAMES[k]
        return (f'<rect x="{x0+0.5}" y="{0.5+dy}" width="{fw-1}" height="{h-1-dy}" rx="{min(h/2, 8)}" '
                f'fill="url(#f{k})" stroke="{border}" stroke-width="1"/>'
                + text(x0 + fw / 2, h / 2 + size * 0.36 + dy, label, size, tc))
    return draw


def link_button(label, size=12):
    """A text link on a small dark lozenge so the whole link is clickable."""
    colours = [GOLD, GOLD_LIGHT, "#ffffff", "#8a7a70"]
    fills = [LINK_FILL, LINK_HOVER, DEEP, LINK_FILL]

    def draw(k, x0, fw, h):
        dy = 1 if k == 2 else 0
        under = (f'<rect x="{x0+4}" y="{h-2}" width="{fw-8}" height="1" fill="{colours[k]}"/>'
                 if k in (1, 2) else "")
        return (f'<rect x="{x0}" y="0" width="{fw}" height="{h}" rx="3" fill="{fills[k]}" fill-opacity="0.85"/>'
                + text(x0 + fw / 2, h / 2 + size * 0.36 + dy - 1, label, size, colours[k]) + under)
    return draw


def window_button(kind):
    def draw(k, x0, fw, h):
        fill = ["none", GLOW, shade(RED_MID, 16, 1, 2), "none"][k]
        stroke = [CREAM, "#ffffff", GOLD_LIGHT, "#9a8070"][k]
        cx, cy = x0 + fw / 2, h / 2
        bg = (f'<rect x="{x0+4}" y="2" width="{fw-8}" height="{h-4}" rx="4" fill="{fill}"/>'
              if fill != "none" else
              f'<rect x="{x0+4}" y="2" width="{fw-8}" height="{h-4}" rx="4" fill="{LINK_HOVER}" fill-opacity="0.6"/>')
        if kind == "close":
            mark = (f'<path d="M{cx-6},{cy-6} L{cx+6},{cy+6} M{cx+6},{cy-6} L{cx-6},{cy+6}" '
                    f'stroke="{stroke}" stroke-width="2.2" stroke-linecap="round"/>')
        else:
            mark = (f'<path d="M{cx-7},{cy+4} L{cx+7},{cy+4}" stroke="{stroke}" stroke-width="2.4" '
                    f'stroke-linecap="round"/>')
        return bg + mark
    return draw


def install_button():
    def draw(k, x0, fw, h):
        top, bottom, tc, border, dy = FRAMES[k]
        glow = (f'<rect x="{x0+3}" y="3" width="{fw-6}" height="{h-6}" rx="14" fill="none" '
                f'stroke="{GOLD_LIGHT}" stroke-width="3" opacity="0.55"/>' if k == 1 else "")
        return (f'<rect x="{x0+2}" y="{4+dy}" width="{fw-4}" height="{h-7}" rx="13" fill="{DEEP}" opacity="0.6"/>'
                f'<rect x="{x0+2}" y="{2+dy}" width="{fw-4}" height="{h-7}" rx="13" fill="url(#f{k})" '
                f'stroke="{border}" stroke-width="2"/>'
                f'<rect x="{x0+10}" y="{5+dy}" width="{fw-20}" height="{(h-7)/2-4}" rx="8" fill="#fff" opacity="0.14"/>'
                + glow + text(x0 + fw / 2, h / 2 + 8 + dy - 2, "立即安装", 22, tc, weight="bold"))
    return draw


def strips():
    def wrap(draw, fw, h):
        return lambda k, x0: draw(k, x0, fw, h)
    strip(picture_svg("CLOSE"), 46, 27, wrap(window_button("close"), 46, 27))
    strip(picture_svg("MINIMIZE"), 46, 27, wrap(window_button("min"), 46, 27))
    strip(picture_svg("INSTALL"), 137, 56, wrap(install_button(), 137, 56))
    strip(picture_svg("AGREEMENT"), 57, 15, wrap(link_button("《用户协议》", 11), 57, 15))
    strip(picture_svg("BACK"), 43, 15, wrap(link_button("‹ 返回"), 43, 15))
    strip(picture_svg("CANCEL"), 57, 15, wrap(link_button("取消安装"), 57, 15))
    strip(picture_svg("CUSTOM"), 71, 15, wrap(link_button("自定义安装 ›"), 71, 15))
    strip(picture_svg("DEFAULT_DIR"), 85, 15, wrap(link_button("恢复默认目录"), 85, 15))
    strip(picture_svg("BROWSE"), 70, 30, wrap(pill_button("浏览...", 13), 70, 30))


def icon():
    defs = GOLD_GRAD + (f'<linearGradient id="ibg" x1="0" y1="0" x2="0" y2="1">'
                        f'<stop offset="0" stop-color="{shade(RED, 72, 29, 23)}"/><stop offset="1" stop-color="{RED_DARK}"/></linearGradient>')
    body = (f'<rect x="2" y="2" width="44" height="44" rx="10" fill="url(#ibg)" stroke="url(#goldGrad)" stroke-width="3"/>'
            f'<g transform="rotate(-12 20 26)"><rect x="9" y="12" width="20" height="28" rx="3" fill="#fffaf0"/>'
            + text(19, 33, "♠", 18, "#1a1a1a") + '</g>'
            f'<g transform="rotate(10 30 24)"><rect x="21" y="9" width="20" height="28" rx="3" fill="#fffaf0"/>'
            + text(31, 30, "中", 16, "#c0161c", weight="bold") + '</g>')
    write("icon.svg", svg(48, 48, body, defs))


def write_colour_header(path):
    """The colours the window draws its own texts in, for ui/win32_dialog_paint.cpp."""
    lines = ["// Written by res/art/make_svgs.py from the brand file; do not edit.",
             "#pragma once", "",
             "struct BrandColour {", "  unsigned char r, g, b;", "};", ""]
    for name, colour, use in (("kBrandGoldText", GOLD, "gold: agreement text, custom page title"),
                              ("kBrandCreamText", CREAM, "cream: custom page texts"),
                              ("kBrandStatusText", STATUS_TEXT, "from gold_light: installing page texts")):
        r, g, b = rgb_of(colour)
        lines.append(f"constexpr BrandColour {name} = {{{r}, {g}, {b}}};  // {use}")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def main(argv):
    global OUT, PICTURE_IDS
    ap = argparse.ArgumentParser(description="Writes the installer's artwork SVGs from a brand file.")
    ap.add_argument("--brand", default=os.path.join(HERE, "brand.ini"),
                    help="brand file (default: brand.ini beside this script)")
    ap.add_argument("--out", required=True, help="folder for the SVG files (created when missing)")
    ap.add_argument("--ids", default=os.path.join(HERE, "..", "resource_ids.h"),
                    help="resource id header (default: res/resource_ids.h)")
    args = ap.parse_args(argv)
    try:
        PICTURE_IDS = read_picture_ids(args.ids)
        apply_brand(read_brand(args.brand))
    except BrandError as e:
        print(f"make_svgs: {e}", file=sys.stderr)
        return 2
    OUT = args.out
    os.makedirs(OUT, exist_ok=True)
    background()
    main_picture()
    for i, (t, s, m) in enumerate(SLIDES):
        slide(i, t, s, m)
    progress()
    strips()
    icon()
    undrawn = sorted(n for n in PICTURE_IDS if picture_svg(n) not in WRITTEN)
    if undrawn:
        print(f"make_svgs: no drawing for IDB_{', IDB_'.join(undrawn)} ({args.ids})", file=sys.stderr)
        return 2
    # The colour that keyed pictures are flattened onto (render.sh).
    with open(os.path.join(OUT, "matte.txt"), "w") as f:
        f.write(RED_MID + "\n")
    write_colour_header(os.path.join(OUT, "brand_colours.h"))
    # The publisher's own pictures, if any (render.sh).
    with open(os.path.join(OUT, "pictures.txt"), "w") as f:
        f.write(PICTURES + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
