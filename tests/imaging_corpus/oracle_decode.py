# Decodes an image with Pillow and prints "width height hasAlpha" on one line
# followed by the RGBA bytes of the first frame. Exit status 2 when Pillow
# cannot read the file.
import sys

from PIL import Image

try:
    im = Image.open(sys.argv[1])
    im.load()
except Exception:
    sys.exit(2)
alpha = im.mode in ("RGBA", "LA", "PA", "La") or "transparency" in im.info
rgba = im.convert("RGBA")
sys.stdout.buffer.write(b"%d %d %d\n" % (rgba.width, rgba.height, 1 if alpha else 0))
sys.stdout.buffer.write(rgba.tobytes())
