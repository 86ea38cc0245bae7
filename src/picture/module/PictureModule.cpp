// The picture module that the `vorlak` program loads for its picture jobs.
#include "picture/PictureFiles.h"

extern "C" __attribute__((visibility("default"))) const vorlak::PictureFileFunctions*
vorlak_picture_files() {
    static const vorlak::PictureFileFunctions functions{
        vorlak::kPictureFilesVersion, &vorlak::ReadPictureFile, &vorlak::EncodePictureFile,
        &vorlak::NewPictureInMemory};
    return &functions;
}
