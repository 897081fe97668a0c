#!/usr/bin/env python3
"""Writes the program's SVG pictures: the meter face, its nine key faces, the
pressed-key cursor, the toolbar icons and the application icon.

The key faces are drawn by the same code on the face picture and in their own
files, so the keys the panel paints over the face match the face exactly.
Run from this folder: python3 make_pictures.py
"""

# One family: the program's SVG renderer takes the attribute as a single
# name (a list would name no installed face and fall to the default family),
# and the system's font substitution finds a stand-in where it is missing.
FONT = "Liberation Sans"

# name, position, size, kind, label lines
KEYS = [
    ("holdup",    (135, 368), (29, 26), "plain", ["HOLD"]),
    ("poweroff",  (143, 578), (24, 23), "power", []),
    ("maxminup",  (58, 368),  (29, 26), "plain", ["MAX", "MIN"]),
    ("irt",       (99, 408),  (25, 25), "round_orange", ["IRT"]),
    ("maxmind",   (62, 502),  (41, 23), "plain", ["MAX/MIN"]),
    ("holdd",     (120, 504), (38, 22), "plain", ["HOLD"]),
    ("avg",       (96, 367),  (30, 30), "round", ["AVG"]),
    ("units",     (89, 469),  (43, 24), "plain", ["\u00b0C/\u00b0F"]),
    ("area",      (91, 535),  (38, 23), "plain", ["AREA"]),
]


def key_defs(prefix):
    return f"""
  <linearGradient id="{prefix}kg" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#fbfcfd"/><stop offset="0.55" stop-color="#dfe2e6"/>
    <stop offset="1" stop-color="#aeb3b9"/>
  </linearGradient>
  <linearGradient id="{prefix}kr" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#f26b5b"/><stop offset="1" stop-color="#b3261e"/>
  </linearGradient>
  <linearGradient id="{prefix}ko" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#ffc15a"/><stop offset="1" stop-color="#e07b00"/>
  </linearGradient>"""


def key_body(prefix, name, w, h, kind, lines):
    """SVG elements of one key in its own 0..w, 0..h box."""
    out = []
    if kind in ("round", "round_orange"):
        r = min(w, h) / 2
        fill = f"url(#{prefix}ko)" if kind == "round_orange" else f"url(#{prefix}kg)"
        out.append(f'<circle cx="{w/2}" cy="{h/2}" r="{r - 0.5}" fill="#2a2e33"/>')
        out.append(f'<circle cx="{w/2}" cy="{h/2 - 0.5}" r="{r - 1.8}" fill="{fill}" '
                   f'stroke="#5d646c" stroke-width="0.8"/>')
    else:
        fill = f"url(#{prefix}kr)" if kind == "power" else f"url(#{prefix}kg)"
        out.append(f'<rect x="0.5" y="0.5" width="{w-1}" height="{h-1}" rx="5" fill="#2a2e33"/>')
        out.append(f'<rect x="1.5" y="1.2" width="{w-3}" height="{h-3.2}" rx="4" fill="{fill}" '
                   f'stroke="#5d646c" stroke-width="0.8"/>')
    if kind == "power":
        cx, cy = w / 2, h / 2 - 0.5
        out.append(f'<path d="M {cx-3.4} {cy-3.2} A 5 5 0 1 0 {cx+3.4} {cy-3.2}" fill="none" '
                   f'stroke="#ffffff" stroke-width="1.8" stroke-linecap="round"/>')
        out.append(f'<line x1="{cx}" y1="{cy-6}" x2="{cx}" y2="{cy-0.5}" stroke="#ffffff" '
                   f'stroke-width="1.8" stroke-linecap="round"/>')
    colour = "#1d2024"
    size = 7.5 if len(lines) == 1 else 6.8
    if lines and max(len(s) for s in lines) >= 6:
        size = 7.0
    n = len(lines)
    for i, text in enumerate(lines):
        y = h / 2 + size * 0.36 + (i - (n - 1) / 2) * (size + 0.6) - 0.5
        out.append(f'<text x="{w/2}" y="{y:.2f}" font-family="{FONT}" font-size="{size}" '
                   f'font-weight="bold" text-anchor="middle" fill="{colour}">{text}</text>')
    return "\n  ".join(out)


def write(name, w, h, body, defs=""):
    with open(name, "w", encoding="utf-8") as f:
        f.write(f'<?xml version="1.0" encoding="UTF-8"?>\n'
                f'<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny" '
                f'width="{w}" height="{h}" viewBox="0 0 {w} {h}">\n')
        if defs:
            f.write(f"<defs>{defs}\n</defs>\n")
        f.write("  " + body.strip() + "\n</svg>\n")


def key_files():
    for name, _pos, (w, h), kind, lines in KEYS:
        write(f"key_{name}.svg", w, h, key_body("", name, w, h, kind, lines), key_defs(""))


def meter_face():
    W, H = 220, 648
    p = []
    # No ground of its own: the panel lays the face on its own grey, which
    # follows the desktop's colours. Shadow, rubber boot, front plate; the
    # shadow darkens whatever ground it falls on (#b9bab4 on the light grey).
    p.append('<rect x="17" y="47" width="192" height="592" rx="30" fill="#000000" fill-opacity="0.147"/>')
    p.append('<rect x="13" y="42" width="192" height="594" rx="30" fill="url(#boot)" '
             'stroke="#1b1d20" stroke-width="1.2"/>')
    for y in range(250, 600, 9):  # grip ridges on both sides
        p.append(f'<rect x="16" y="{y}" width="6" height="4" rx="2" fill="#4a7c2e"/>')
        p.append(f'<rect x="196" y="{y}" width="6" height="4" rx="2" fill="#4a7c2e"/>')
    p.append('<rect x="28" y="56" width="162" height="566" rx="20" fill="url(#plate)" '
             'stroke="#0f1113" stroke-width="1"/>')
    # sensor head: grille of the humidity and air temperature sensor
    p.append('<rect x="58" y="70" width="102" height="74" rx="14" fill="#17191c" '
             'stroke="#5a6067" stroke-width="1"/>')
    for i in range(7):
        y = 80 + i * 8.5
        p.append(f'<rect x="68" y="{y}" width="82" height="4" rx="2" fill="#3a3f45"/>')
        p.append(f'<rect x="68" y="{y}" width="82" height="1.2" rx="0.6" fill="#050607"/>')
    p.append(f'<text x="109" y="163" font-family="{FONT}" font-size="13" font-weight="bold" '
             f'text-anchor="middle" fill="#f2f3f4">ZB740</text>')
    p.append(f'<text x="109" y="177" font-family="{FONT}" font-size="7" '
             f'text-anchor="middle" fill="#c9ced3">THERMO-HYGROMETER</text>')
    # LCD bezel and window (the panel paints the live LCD over the window)
    p.append('<rect x="44" y="183" width="134" height="173" rx="8" fill="#121416" '
             'stroke="#6c737b" stroke-width="1"/>')
    p.append('<rect x="52" y="192" width="118" height="156" rx="2" fill="#7f8f7b"/>')
    p.append('<rect x="53" y="193" width="116" height="154" fill="#a8bfa3"/>')
    p.append('<line x1="53" y1="252" x2="169" y2="252" stroke="#93a88f" stroke-width="0.8"/>')
    # key area: a recessed pad holding the keys
    p.append('<rect x="50" y="360" width="120" height="206" rx="12" fill="#2c3035" '
             'stroke="#181a1d" stroke-width="0.8"/>')
    p.append('<line x1="56" y1="444" x2="164" y2="444" stroke="#474d54" stroke-width="0.8"/>')
    for name, (x, y), (w, h), kind, lines in KEYS:
        p.append(f'<g transform="translate({x},{y})">\n  '
                 + key_body("", name, w, h, kind, lines) + "\n  </g>")
    p.append(f'<text x="155" y="609" font-family="{FONT}" font-size="5.5" text-anchor="middle" '
             f'fill="#c9ced3">POWER</text>')
    # probe socket for the type-K thermocouple, and the IR window mark
    p.append('<rect x="82" y="588" width="46" height="20" rx="4" fill="#dadde0" '
             'stroke="#3b3f44" stroke-width="0.8"/>')
    p.append('<rect x="92" y="595" width="9" height="6" fill="#2a2e33"/>')
    p.append('<rect x="109" y="595" width="9" height="6" fill="#2a2e33"/>')
    p.append(f'<text x="105" y="616" font-family="{FONT}" font-size="5.5" text-anchor="middle" '
             f'fill="#c9ced3">TYPE-K  INPUT</text>')
    defs = key_defs("") + """
  <linearGradient id="boot" x1="0" y1="0" x2="1" y2="0">
    <stop offset="0" stop-color="#4f8a31"/><stop offset="0.12" stop-color="#6fae45"/>
    <stop offset="0.88" stop-color="#6fae45"/><stop offset="1" stop-color="#3f7026"/>
  </linearGradient>
  <linearGradient id="plate" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#4a5057"/><stop offset="1" stop-color="#30353a"/>
  </linearGradient>"""
    write("meter_face.svg", W, H, "\n  ".join(p), defs)


def cursor():
    body = """
  <path d="M 9 2.5 C 9 0.8 13 0.8 13 2.5 L 13 12 C 13 10.6 16.6 10.6 16.6 12 L 16.6 13.4
    C 16.6 12 20.2 12 20.2 13.4 L 20.2 14.8 C 20.2 13.4 23.8 13.4 23.8 14.8 L 23.8 22
    C 23.8 26 21.6 29.5 18 29.5 L 14 29.5 C 11 29.5 9.6 28 8 25.6 L 3.4 18.6
    C 2.4 17 4.6 15.2 6 16.6 L 9 19.6 Z"
    fill="#ffffff" stroke="#000000" stroke-width="1.3" stroke-linejoin="round"/>
  <line x1="13" y1="12" x2="13" y2="18" stroke="#000000" stroke-width="1"/>
  <line x1="16.6" y1="13.4" x2="16.6" y2="18.6" stroke="#000000" stroke-width="1"/>
  <line x1="20.2" y1="14.8" x2="20.2" y2="19.2" stroke="#000000" stroke-width="1"/>
  <path d="M 4 4 L 7 6 M 18 4 L 15 6 M 3 9.5 L 7 9.5 M 19 9.5 L 15 9.5" stroke="#d11a1a"
    stroke-width="1.6" stroke-linecap="round"/>"""
    write("cursor_pressed.svg", 32, 32, body)


def toolbar():
    icons = {
        "tb_save": """
  <rect x="7" y="2" width="14" height="16" rx="1.5" fill="#2f62b3" stroke="#173a73" stroke-width="1"/>
  <rect x="10" y="2.5" width="8" height="5" fill="#dfe6ee"/>
  <rect x="15" y="3.3" width="2" height="3.4" fill="#2f62b3"/>
  <rect x="9.5" y="10.5" width="9" height="6.5" rx="0.6" fill="#ffffff"/>
  <line x1="11" y1="12.6" x2="17" y2="12.6" stroke="#8899aa" stroke-width="0.7"/>
  <line x1="11" y1="14.6" x2="17" y2="14.6" stroke="#8899aa" stroke-width="0.7"/>""",
        "tb_open": """
  <path d="M 5 4.5 L 10.5 4.5 L 12 6.5 L 20 6.5 L 20 16.5 L 5 16.5 Z" fill="#d99a1e" stroke="#8a5d07" stroke-width="1"/>
  <path d="M 5 16.5 L 8 9 L 23.5 9 L 20 16.5 Z" fill="#ffd45c" stroke="#8a5d07" stroke-width="1" stroke-linejoin="round"/>""",
        "tb_run": """
  <circle cx="13.5" cy="10" r="8" fill="#2e9d3a" stroke="#1a6323" stroke-width="1"/>
  <path d="M 11 5.8 L 18 10 L 11 14.2 Z" fill="#ffffff"/>""",
        "tb_stop": """
  <circle cx="13.5" cy="10" r="8" fill="#cf2a22" stroke="#80140f" stroke-width="1"/>
  <rect x="10" y="6.5" width="7" height="7" rx="0.8" fill="#ffffff"/>""",
        "tb_print": """
  <rect x="9" y="2.5" width="9" height="6" fill="#ffffff" stroke="#555b61" stroke-width="0.9"/>
  <rect x="5" y="7.5" width="17" height="7.5" rx="1.5" fill="#8c949c" stroke="#41464b" stroke-width="1"/>
  <rect x="9" y="12" width="9" height="6" fill="#ffffff" stroke="#555b61" stroke-width="0.9"/>
  <line x1="10.5" y1="14" x2="16.5" y2="14" stroke="#5a6570" stroke-width="0.7"/>
  <line x1="10.5" y1="16" x2="16.5" y2="16" stroke="#5a6570" stroke-width="0.7"/>
  <circle cx="19.3" cy="9.6" r="0.9" fill="#46d246"/>""",
        "tb_undozoom": """
  <line x1="16" y1="13" x2="21.5" y2="18.5" stroke="#4a3a22" stroke-width="3" stroke-linecap="round"/>
  <circle cx="12" cy="9" r="6" fill="#e8f3fb" stroke="#2d4f6e" stroke-width="1.5"/>
  <line x1="9" y1="9" x2="15" y2="9" stroke="#2d4f6e" stroke-width="1.8" stroke-linecap="round"/>
  <path d="M 2.5 4 L 2.5 8.5 L 7 8.5" fill="none" stroke="#cf2a22" stroke-width="1.4" stroke-linecap="round" stroke-linejoin="round"/>""",
        "tb_help": """
  <circle cx="13.5" cy="10" r="8" fill="#2f62b3" stroke="#173a73" stroke-width="1"/>
  <text x="13.5" y="14.3" font-family="%s" font-size="12.5" font-weight="bold" text-anchor="middle" fill="#ffffff">?</text>""" % FONT,
    }
    for name, body in icons.items():
        write(f"{name}.svg", 27, 20, body)


def logger_toolbar():
    """The logger window's ten toolbar faces, 75 x 18: a button face with a
    small picture and the command's word."""
    W, H = 75, 18

    def swatch(colours):
        # A piece of black plot with one wavy curve per colour.
        out = ['<rect x="3.5" y="3.5" width="15" height="11" rx="1.5" fill="#000000" stroke="#3c4146" '
               'stroke-width="1"/>']
        for i, c in enumerate(colours):
            y = 6.5 + i * (6.0 / max(len(colours) - 1, 1)) if len(colours) > 1 else 9
            out.append(f'<path d="M 5 {y + 1.5:.2f} L 8 {y - 1:.2f} L 11 {y + 1:.2f} L 14 {y - 1.5:.2f} '
                       f'L 17 {y:.2f}" fill="none" stroke="{c}" stroke-width="1.1"/>')
        return "\n  ".join(out)

    curve = ["#ff0000", "#ffff00", "#00ffff", "#c864c8", "#00ff00"]
    faces = [
        ("lg_open", "OPEN", """
  <path d="M 4 5 L 8.5 5 L 9.7 6.6 L 16 6.6 L 16 14.5 L 4 14.5 Z" fill="#d99a1e" stroke="#8a5d07" stroke-width="0.9"/>
  <path d="M 4 14.5 L 6.4 8.6 L 18.6 8.6 L 16 14.5 Z" fill="#ffd45c" stroke="#8a5d07" stroke-width="0.9" stroke-linejoin="round"/>"""),
        ("lg_print", "Print", """
  <rect x="7" y="3.5" width="8" height="4.5" fill="#ffffff" stroke="#555b61" stroke-width="0.8"/>
  <rect x="4" y="7.5" width="14" height="6" rx="1.2" fill="#8c949c" stroke="#41464b" stroke-width="0.9"/>
  <rect x="7" y="11" width="8" height="4.5" fill="#ffffff" stroke="#555b61" stroke-width="0.8"/>
  <circle cx="16" cy="9.6" r="0.8" fill="#46d246"/>"""),
        ("lg_undozoom", "Undozoom", """
  <line x1="12.5" y1="11.5" x2="17" y2="16" stroke="#4a3a22" stroke-width="2.4" stroke-linecap="round"/>
  <circle cx="9.5" cy="8" r="5" fill="#e8f3fb" stroke="#2d4f6e" stroke-width="1.3"/>
  <line x1="7" y1="8" x2="12" y2="8" stroke="#2d4f6e" stroke-width="1.6" stroke-linecap="round"/>"""),
        ("lg_air", "AIR", swatch([curve[0]])),
        ("lg_wb", "WB", swatch([curve[1]])),
        ("lg_dp", "DP", swatch([curve[2]])),
        ("lg_kir", "K/IR", swatch([curve[3]])),
        ("lg_rh", "RH", swatch([curve[4]])),
        ("lg_combine", "Combine", swatch(curve)),
        ("lg_yaxis", "Y Axis", """
  <line x1="7" y1="15" x2="7" y2="3.5" stroke="#1d2024" stroke-width="1.2"/>
  <path d="M 4.8 5.6 L 7 2.6 L 9.2 5.6 Z" fill="#1d2024"/>
  <line x1="5" y1="6.5" x2="7" y2="6.5" stroke="#1d2024" stroke-width="0.9"/>
  <line x1="5" y1="9.5" x2="7" y2="9.5" stroke="#1d2024" stroke-width="0.9"/>
  <line x1="5" y1="12.5" x2="7" y2="12.5" stroke="#1d2024" stroke-width="0.9"/>
  <line x1="7" y1="15" x2="18" y2="15" stroke="#1d2024" stroke-width="1.2"/>
  <path d="M 8 12 L 11 8 L 14 10 L 17.5 5" fill="none" stroke="#cf2a22" stroke-width="1.2"/>"""),
    ]
    defs = """
  <linearGradient id="face" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#fbfcfd"/><stop offset="0.55" stop-color="#e6e8eb"/>
    <stop offset="1" stop-color="#c3c8ce"/>
  </linearGradient>"""
    for name, word, picture in faces:
        size = 9.5 if len(word) <= 5 else 9 if len(word) <= 6 else 8.2
        body = (f'<rect x="0.5" y="0.5" width="{W - 1}" height="{H - 1}" rx="3" fill="url(#face)" '
                f'stroke="#8d949b" stroke-width="1"/>\n  '
                + picture.strip() + "\n  "
                + f'<text x="{(21 + W - 2) / 2}" y="12.6" font-family="{FONT}" font-size="{size}" '
                  f'font-weight="bold" text-anchor="middle" fill="#1d2024">{word}</text>')
        write(f"{name}.svg", W, H, body, defs)


def app_icon():
    body = f"""
  <rect x="14" y="2" width="36" height="60" rx="9" fill="#6fae45" stroke="#2f5a1b" stroke-width="1.5"/>
  <rect x="18" y="6" width="28" height="52" rx="6" fill="#3a4047"/>
  <rect x="24" y="9" width="16" height="8" rx="3" fill="#17191c"/>
  <rect x="21" y="20" width="22" height="18" rx="1.5" fill="#a8bfa3" stroke="#121416" stroke-width="1.2"/>
  <text x="32" y="33" font-family="{FONT}" font-size="9" font-weight="bold" text-anchor="middle" fill="#111">25.0</text>
  <circle cx="26" cy="45" r="2.6" fill="#e6e8eb"/>
  <circle cx="38" cy="45" r="2.6" fill="#e6e8eb"/>
  <circle cx="32" cy="51.5" r="2.6" fill="#ffb23d"/>
  <path d="M 52 30 C 56 37 60 41 60 46 A 8 8 0 0 1 44 46 C 44 41 48 37 52 30 Z" fill="#3d8fe0" stroke="#1b4f85" stroke-width="1.2"/>
  <path d="M 49 45 A 3.5 3.5 0 0 0 52 50" fill="none" stroke="#ffffff" stroke-width="1.3" stroke-linecap="round"/>"""
    write("app_icon.svg", 64, 64, body)


if __name__ == "__main__":
    key_files()
    meter_face()
    cursor()
    toolbar()
    logger_toolbar()
    app_icon()
