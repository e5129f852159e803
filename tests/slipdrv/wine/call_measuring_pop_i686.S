/* unsigned call_measuring_pop(const void* function, const unsigned* arguments,
 *                             unsigned count, int* result)      (caller cleans)
 *
 * Pushes the count 32-bit arguments as a C caller does (arguments[0] nearest
 * the return address), calls function, stores its int result and returns how
 * many of the pushed bytes the function took off the stack itself: 4 * count
 * for a callee-cleans function, 0 for a caller-cleans one. The stack is
 * restored from the frame whatever the callee did. */
    .text
    .globl _call_measuring_pop
_call_measuring_pop:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 16(%ebp), %ecx         /* count */
    movl 12(%ebp), %esi         /* arguments */
    /* Leave the stack 16-byte aligned at the call, as compilers expect. */
    leal 0(,%ecx,4), %eax
    movl %esp, %edx
    subl %eax, %edx
    andl $-16, %edx
    addl %eax, %edx
    movl %edx, %esp
1:  testl %ecx, %ecx
    jz 2f
    pushl -4(%esi,%ecx,4)
    decl %ecx
    jmp 1b
2:  movl %esp, %ebx             /* the stack pointer the callee starts from; ebx survives the call */
    call *8(%ebp)
    movl 20(%ebp), %edx
    movl %eax, (%edx)
    movl %esp, %eax
    subl %ebx, %eax             /* bytes the callee removed */
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
