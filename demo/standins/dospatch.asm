; A DOS program that answers as the DOS TTDPatch does towards Vexal Pro; it patches nothing.
;   -h    prints help whose first line carries the version, on standard output
;   else  writes RAN.TXT into the current folder: the current folder, then the command tail
; Built with nasm -f bin: the MZ header is written out here.
bits 16
cpu 8086

header:
    db 'MZ'
    dw image_size % 512                 ; bytes in the last page
    dw (image_size + 511) / 512         ; pages
    dw 0                                ; relocations
    dw header_size / 16                 ; header paragraphs
    dw 0x100                            ; extra paragraphs needed (stack)
    dw 0xFFFF                           ; extra paragraphs wanted
    dw 0                                ; SS, relative to the code
    dw code_size + 0x800                ; SP
    dw 0                                ; checksum
    dw 0                                ; IP
    dw 0                                ; CS, relative
    dw 0x1C                             ; relocation table
    dw 0                                ; overlay
    times 0x3C - ($ - header) db 0
    dd 0                                ; no new-style header: a plain DOS program
    align 16, db 0
header_size equ $ - header

section code vstart=0 align=16
start:
    mov ax, cs
    mov ds, ax                          ; our data; ES keeps the PSP
    mov si, 0x81
.skip:
    mov al, [es:si]
    cmp al, ' '
    jne .word
    inc si
    jmp .skip
.word:
    cmp al, '-'
    jne record
    mov al, [es:si+1]
    or al, 0x20
    cmp al, 'h'
    jne record
    mov ah, 0x40                        ; write the version line to standard output
    mov bx, 1
    mov cx, version_end - version
    mov dx, version
    int 0x21
    jmp done

record:
    mov ah, 0x3C                        ; create RAN.TXT
    xor cx, cx
    mov dx, ran_name
    int 0x21
    jc done
    mov bx, ax
    mov ah, 0x19                        ; current drive
    int 0x21
    add al, 'A'
    mov [folder], al
    push si
    mov ah, 0x47                        ; current folder of that drive
    xor dl, dl
    mov si, folder + 3
    int 0x21
    pop si
    mov di, folder                      ; its length
.len:
    cmp byte [di], 0
    je .lenok
    inc di
    jmp .len
.lenok:
    mov word [di], 0x0A0D
    lea cx, [di + 2]
    sub cx, folder
    mov dx, folder
    mov ah, 0x40
    int 0x21
    push ds                             ; the command tail, as DOS passed it
    push es
    pop ds
    xor ch, ch
    mov cl, [0x80]
    mov dx, 0x81
    mov ah, 0x40
    int 0x21
    pop ds
    mov ah, 0x3E
    int 0x21
done:
    mov ax, 0x4C00
    int 0x21

%ifndef PATCH_VERSION                   ; server/build makes the sample releases with their own versions
%define PATCH_VERSION '2.0.1 alpha 67'
%endif
version:    db 'TTDPatch V', PATCH_VERSION, ' (DOS) starting.', 13, 10
            db 'Usage: TTDPATCH [-options] [CfgFile] [Options for TTD]', 13, 10
version_end:
ran_name:   db 'RAN.TXT', 0
folder:     db '?:\'
            times 70 db 0
code_size equ $ - start

image_size equ header_size + code_size
