// Twips (1/1440 inch) and pixels, with the screen's logical resolution:
// 15 twips to the pixel at 96 dots per inch.
#pragma once

int twipsToPixelsX(int twips);
int twipsToPixelsY(int twips);
int pixelsToTwipsX(int pixels);
int pixelsToTwipsY(int pixels);
