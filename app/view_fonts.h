#pragma once
// The pixel fonts a title ships (".vft" files in its content) handed over to the pixel-font
// manager: each is copied into a work file of the private temporary folder, which the manager
// reads from for the rest of the run.
class TVrFileCollection;
class TVrFileManager;

// The main window's archive-added handler. The ".vft" files (extension without regard to case)
// among the top-level entries of Archive, or with no archive those anywhere under the base
// folder, are each copied (as Sender reads them) into a new work file "fontXXXX.tmp" and handed
// to PixelFontManager. A file the manager keeps is deleted when the program ends (ExitDeleteList),
// any other at once, as is the work file of a font that fails to load. EVelaError
// "作業用ファイルが作成できません" when a work file cannot be made.
void ExtractPixelFonts(TVrFileManager& Sender, TVrFileCollection* Archive);
