// Status codes: conversion of Windows errors and NT statuses, and the texts
// printed for codes by %Rrc, %Rrs, %Rrf, %Rra, %Rwc, %Rwf and %Rwa.
#pragma once

#include <quab/fmt.h>
#include <quab/types.h>

int32_t RTErrConvertFromWinError(uint32_t uNativeCode);
int32_t RTErrConvertFromNtStatus(int32_t lNtStatus);

// Text functions: write through the output callback, return the callback's
// total. pszTmp is scratch for rendering numbers (the engine passes 80 bytes).
size_t RTStatusFormatName(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp);
size_t RTStatusFormatMessage(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp);
size_t RTStatusFormatAll(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp);
size_t RTStatusFormatUnknown(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp);
size_t RTWinErrFormatName(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp);
size_t RTWinErrFormatAll(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp);
