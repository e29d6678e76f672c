/* The hardware-applet image, included byte for byte from the file the build generated. */
#if defined(__ELF__)
    .section .rodata.pellvane_hap_image, "a"
#else
    .section .rdata, "dr"
#endif
    .balign 16
    .globl pellvane_hap_image
    .globl pellvane_hap_image_end
#if defined(__ELF__)
    .hidden pellvane_hap_image
    .hidden pellvane_hap_image_end
#endif
pellvane_hap_image:
    .incbin PELLVANE_HAP_IMAGE_PATH
pellvane_hap_image_end:
#if defined(__ELF__)
    .section .note.GNU-stack, "", @progbits
#endif
